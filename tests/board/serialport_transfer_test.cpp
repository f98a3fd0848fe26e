#include "fakeportfixture.h"

#include <string>
#include <vector>

using Log = std::vector<std::string>;

TEST_F(FakePortTest, WriteTextSendsEveryByteAndReturnsTheCount)
{
    ASSERT_TRUE(Port->OpenPort());
    const std::string line = "{\"ssid\":\"caf\xc3\xa9\"}\n";
    EXPECT_EQ(Port->WriteText(line), static_cast<int>(line.size()));
    EXPECT_EQ(Driver->Written(), line);
}

TEST_F(FakePortTest, WriteOfAnEmptyStringWritesNothingAndReturnsZero)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    EXPECT_EQ(Port->WriteText(""), 0);
    EXPECT_TRUE(Driver->Log().empty());
}

TEST_F(FakePortTest, WriteCutShortByItsTimeoutReturnsFewerBytes)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->SetWriteLimit(3);
    EXPECT_EQ(Port->WriteText("abcdef"), 3);
    EXPECT_EQ(Driver->Written(), "abc");
}

TEST_F(FakePortTest, WriteThatFailsAfterStartingRaisesTheWriteMessage)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->SetWriteFailsAfterStart();
    EXPECT_COM_ERROR(Port->WriteText("abc"), EComPort::WriteFailed);
}

TEST_F(FakePortTest, ReadTextReturnsExactlyTheBytesRead)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput(std::string("ab\0c", 4));
    std::string data = "previous content";
    EXPECT_EQ(Port->ReadText(data, 10), 4);
    EXPECT_EQ(data, std::string("ab\0c", 4));
}

TEST_F(FakePortTest, ReadTextTakesNoMoreThanCount)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput("abcdef");
    std::string data;
    EXPECT_EQ(Port->ReadText(data, 4), 4);
    EXPECT_EQ(data, "abcd");
    EXPECT_EQ(Port->BytesWaiting(), 2);
}

TEST_F(FakePortTest, ReadOfZeroOrFewerBytesReturnsZeroAndLeavesDataEmpty)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput("abc");
    Driver->ClearLog();
    std::string data = "x";
    EXPECT_EQ(Port->ReadText(data, 0), 0);
    EXPECT_TRUE(data.empty());
    data = "y";
    EXPECT_EQ(Port->ReadText(data, -5), 0);
    EXPECT_TRUE(data.empty());
    EXPECT_TRUE(Driver->Log().empty());
}

TEST_F(FakePortTest, MissingRequestRaisesTheAsyncMessage)
{
    ASSERT_TRUE(Port->OpenPort());
    char buffer[4] = {};
    EXPECT_COM_ERROR(Port->StartWrite(nullptr, buffer, 4), EComPort::BadAsync);
    EXPECT_COM_ERROR(Port->StartRead(nullptr, buffer, 4), EComPort::BadAsync);
    EXPECT_COM_ERROR(Port->WaitRequest(nullptr), EComPort::BadAsync);
}

TEST_F(FakePortTest, RequestThatWasNeverStartedCompletesWithZeroBytes)
{
    TAsyncRequest request;
    EXPECT_EQ(Port->WaitRequest(&request), 0);
}

TEST_F(FakePortTest, NegativeCountsAreRefusedInsteadOfReachingTheDevice)
{
    ASSERT_TRUE(Port->OpenPort());
    char buffer[4] = {};
    TAsyncRequest request;
    EXPECT_COM_ERROR(Port->StartWrite(&request, buffer, -1), EComPort::WriteFailed);
    EXPECT_COM_ERROR(Port->StartRead(&request, buffer, -1), EComPort::ReadFailed);
}

TEST_F(FakePortTest, DtrAndRtsCallsReachTheDriver)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Port->SetDTRLine(false);
    Port->SetDTRLine(true);
    Port->SetRTSLine(true);
    Port->SetRTSLine(false);
    EXPECT_EQ(Driver->Log(), (Log{"Escape ClearDtr", "Escape SetDtr", "Escape SetRts", "Escape ClearRts"}));
}

TEST_F(FakePortTest, ModemStatusWordBecomesTheSignalSet)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->SetModemStatus(PortBits::MsCtsOn | PortBits::MsRlsdOn);
    EXPECT_EQ(Port->ModemSignals(), msCTS | msRLSD);
    Driver->SetModemStatus(PortBits::MsDsrOn | PortBits::MsRingOn);
    EXPECT_EQ(Port->ModemSignals(), msDSR | msRing);
}

TEST_F(FakePortTest, PurgeAbortsBothDirections)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Port->PurgePort();
    EXPECT_EQ(Driver->Log(), Log{"Purge 3"});
}

#include "ptyportfixture.h"

#include <atomic>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Pattern(std::size_t size)
{
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return data;
}

} // namespace

TEST_F(PtyPortTest, BytesFromTheDeviceArriveInOrderThroughOnRxCharWithExactCounts)
{
    std::string received;
    int shortReads = 0;
    Port->OnRxChar = [&](TSerialPort& port, int count) {
        std::string data;
        if (port.ReadText(data, count) != count)
            ++shortReads;
        received += data;
    };
    ASSERT_TRUE(Port->OpenPort());
    const std::string sent = Pattern(200000);
    std::thread writer([&] { WriteToPort(sent); });
    const bool done = ServeUntil([&] { return received.size() >= sent.size(); }, 10000);
    writer.join();
    ASSERT_TRUE(done) << "received " << received.size() << " of " << sent.size();
    EXPECT_EQ(received, sent);
    EXPECT_EQ(shortReads, 0);
}

TEST_F(PtyPortTest, WriteTextDeliversEveryByteToTheDevice)
{
    ASSERT_TRUE(Port->OpenPort());
    const std::string sent = Pattern(3000) + "\n";
    std::string arrived;
    std::thread reader([&] { arrived = ReadFromDevice(sent.size()); });
    EXPECT_EQ(Port->WriteText(sent), static_cast<int>(sent.size()));
    reader.join();
    EXPECT_EQ(arrived, sent);
}

// Regression: closing right after a write purged the output queue, so the part of a line still in the kernel's
// buffer never reached the device (a saved settings line lost on Disconnect).
TEST_F(PtyPortTest, LineWrittenRightBeforeCloseReachesTheDeviceWhole)
{
    ASSERT_TRUE(Port->OpenPort());
    const std::string line = Pattern(8192) + "\n";
    ASSERT_EQ(Port->WriteText(line), static_cast<int>(line.size()));
    ASSERT_TRUE(Port->ClosePort());
    const std::string arrived = ReadFromDevice(line.size());
    EXPECT_TRUE(arrived == line) << arrived.size() << " of " << line.size() << " bytes arrived";
}

TEST_F(PtyPortTest, NoEventArrivesWhileNothingNewWasReceived)
{
    std::vector<int> counts;
    Port->OnRxChar = [&](TSerialPort&, int count) { counts.push_back(count); };
    ASSERT_TRUE(Port->OpenPort());
    WriteToPort("abc");
    ASSERT_TRUE(ServeUntil([&] { return !counts.empty(); }));
    // The handler left the bytes unread: they must not raise the event again and again.
    ServeUntil([] { return false; }, 200);
    EXPECT_EQ(counts, std::vector<int>{3});
    WriteToPort("de");
    ASSERT_TRUE(ServeUntil([&] { return counts.size() == 2; }));
    EXPECT_EQ(counts[1], 5);
}

TEST_F(PtyPortTest, ImmediateReadReturnsWhatHasArrivedUpToCount)
{
    ASSERT_TRUE(Port->OpenPort());
    WriteToPort("hello");
    ASSERT_TRUE(ServeUntil([&] { return Port->BytesWaiting() == 5; }));
    std::string data;
    EXPECT_EQ(Port->ReadText(data, 3), 3);
    EXPECT_EQ(data, "hel");
    EXPECT_EQ(Port->ReadText(data, 100), 2);
    EXPECT_EQ(data, "lo");
    EXPECT_EQ(Port->ReadText(data, 100), 0);
    EXPECT_TRUE(data.empty());
}

TEST_F(PtyPortTest, ReadWithAFirstByteTimeoutWaitsForALateByte)
{
    ASSERT_TRUE(Port->OpenPort());
    Port->Timeouts().SetReadTotalMultiplier(-1);
    Port->Timeouts().SetReadTotalConstant(3000);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        WriteToPort("Z");
    });
    std::string data;
    EXPECT_EQ(Port->ReadText(data, 10), 1);
    late.join();
    EXPECT_EQ(data, "Z");
}

TEST_F(PtyPortTest, ReadWithATotalTimeoutReturnsWhatArrivedWhenTimeIsUp)
{
    ASSERT_TRUE(Port->OpenPort());
    Port->Timeouts().SetReadInterval(0);
    Port->Timeouts().SetReadTotalConstant(150);
    WriteToPort("xyz");
    std::string data;
    EXPECT_EQ(Port->ReadText(data, 10), 3);
    EXPECT_EQ(data, "xyz");
}

TEST_F(PtyPortTest, WriteThatNobodyReadsGivesUpAtItsTimeoutWithFewerBytes)
{
    ASSERT_TRUE(Port->OpenPort());
    Port->Timeouts().SetWriteTotalMultiplier(0);
    Port->Timeouts().SetWriteTotalConstant(200);
    const std::string data(4 << 20, 'w');
    const int written = Port->WriteText(data);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(data.size()));
}

TEST_F(PtyPortTest, PurgeDiscardsReceivedBytes)
{
    ASSERT_TRUE(Port->OpenPort());
    WriteToPort("stale bytes");
    ASSERT_TRUE(ServeUntil([&] { return Port->BytesWaiting() > 0; }));
    Port->PurgePort();
    EXPECT_EQ(Port->BytesWaiting(), 0);
}

TEST_F(PtyPortTest, CloseWhileDataFlowsEndsCleanlyAndThePortOpensAgain)
{
    std::atomic<bool> stop = false;
    std::size_t received = 0;
    Port->OnRxChar = [&](TSerialPort& port, int count) {
        std::string data;
        received += static_cast<std::size_t>(port.ReadText(data, count));
    };
    ASSERT_TRUE(Port->OpenPort());
    const int flags = fcntl(Master, F_GETFL);
    fcntl(Master, F_SETFL, flags | O_NONBLOCK);
    std::thread writer([&] {
        const std::string chunk(512, 'd');
        while (!stop) {
            if (write(Master, chunk.data(), chunk.size()) < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(ServeUntil([&] { return received > 20000; }));
    EXPECT_TRUE(Port->ClosePort());
    EXPECT_FALSE(Port->Connected());
    EXPECT_TRUE(Port->OpenPort());
    const std::size_t before = received;
    EXPECT_TRUE(ServeUntil([&] { return received > before; }));
    EXPECT_TRUE(Port->ClosePort());
    stop = true;
    writer.join();
}

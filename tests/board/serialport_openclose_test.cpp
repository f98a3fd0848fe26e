#include "fakeportfixture.h"

#include <string>
#include <vector>

using Log = std::vector<std::string>;

TEST_F(FakePortTest, OpenOnAnOpenPortReturnsTrueAndChangesNothing)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    EXPECT_TRUE(Port->OpenPort());
    EXPECT_TRUE(Driver->Log().empty());
    EXPECT_TRUE(Port->Connected());
}

TEST_F(FakePortTest, CloseOnAClosedPortReturnsTrueAndTouchesNothing)
{
    EXPECT_TRUE(Port->ClosePort());
    EXPECT_TRUE(Driver->Log().empty());
}

TEST_F(FakePortTest, MissingDeviceRaisesMessageZeroAndStaysClosed)
{
    Driver->SetOpenResult(EOpenResult::NotFound);
    EXPECT_COM_ERROR(Port->OpenPort(), EComPort::NotFound);
    EXPECT_FALSE(Port->Connected());
    EXPECT_EQ(std::string(EComPort(EComPort::NotFound).what()), "Попытка открыть несуществующий COM-порт");
}

TEST_F(FakePortTest, PortHeldElsewhereRaisesMessageOne)
{
    Driver->SetOpenResult(EOpenResult::Busy);
    EXPECT_COM_ERROR(Port->OpenPort(), EComPort::Busy);
    EXPECT_FALSE(Port->Connected());
    EXPECT_EQ(std::string(EComPort(EComPort::Busy).what()), "Порт занят другой программой");
}

TEST_F(FakePortTest, MissingPermissionSaysSoInsteadOfCallingThePortBusy)
{
    Driver->SetOpenResult(EOpenResult::AccessDenied);
    EXPECT_COM_ERROR(Port->OpenPort(), EComPort::NoPermission);
    EXPECT_EQ(std::string(EComPort(EComPort::NoPermission).what()), "Нет прав доступа к COM-порту");
}

TEST_F(FakePortTest, OtherOpenFailureEndsInTheSetupMessageWithThePortClosed)
{
    Driver->SetOpenResult(EOpenResult::OtherFailure);
    EXPECT_COM_ERROR(Port->OpenPort(), EComPort::SetupFailed);
    EXPECT_FALSE(Port->Connected());
}

TEST_F(FakePortTest, FailedSettingsAtOpenCloseTheHandleAndLeaveThePortClosed)
{
    Driver->FailCall("SetTimeouts");
    EXPECT_COM_ERROR(Port->OpenPort(), EComPort::TimeoutsFailed);
    EXPECT_FALSE(Port->Connected());
    EXPECT_FALSE(Driver->IsOpen());
    EXPECT_EQ(Driver->Log().back(), "Close");
}

TEST_F(FakePortTest, CloseLowersDtrAndRtsPurgesInputStopsTheThreadAndClosesInThatOrder)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    EXPECT_TRUE(Port->ClosePort());
    const Log expected{"Escape ClearDtr", "Escape ClearRts", "Purge 2", "SetEventMask 0", "Purge 8", "Close"};
    EXPECT_EQ(Driver->Log(), expected);
    EXPECT_FALSE(Port->Connected());
}

TEST_F(FakePortTest, CloseThatCannotLowerDtrRaisesAndLeavesThePortOpen)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->FailCall("Escape");
    EXPECT_COM_ERROR(Port->ClosePort(), EComPort::EscapeFailed);
    EXPECT_TRUE(Port->Connected());
    EXPECT_TRUE(Driver->IsOpen());
}

TEST_F(FakePortTest, PortCanBeOpenedAgainAfterClose)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(Port->ClosePort());
    Port->SetPort("/dev/ttyOther");
    ASSERT_TRUE(Port->OpenPort());
    EXPECT_TRUE(Port->Connected());
    EXPECT_EQ(Driver->Log()[Driver->Log().size() - 5], "Open /dev/ttyOther");
}

// Regression: a destructor whose close failed left the wait thread running on a freed port.
TEST(SerialPortLifetimeTest, DestroyingAPortWhoseCloseFailsStillStopsTheThreadAndCloses)
{
    THandOver handOver;
    auto owned = std::make_unique<TFakePortDriver>();
    TFakePortDriver* driver = owned.get();
    {
        TSerialPort port(std::move(owned), handOver);
        ASSERT_TRUE(port.OpenPort());
        driver->FailCall("Escape");
    }
    // The driver went with the port; reaching here without a hang or a sanitizer report is the check that
    // the thread was joined, and the port must not have left work queued behind.
    EXPECT_EQ(handOver.ProcessPending(), 0);
}

// Regression: after the device vanished, lowering its lines failed and the port could never be closed.
TEST_F(FakePortTest, ClosingAVanishedPortSkipsTheModemLinesAndSucceeds)
{
    bool lost = false;
    Port->OnPortLost = [&lost](TSerialPort&) { lost = true; };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueWait(EWaitResult::Gone);
    ASSERT_TRUE(ServeUntil([&] { return lost; }));
    Driver->FailCall("Escape");
    Driver->FailCall("Purge");
    EXPECT_TRUE(Port->ClosePort());
    EXPECT_FALSE(Port->Connected());
    EXPECT_FALSE(Driver->IsOpen());
}

TEST_F(FakePortTest, OperationsOnAClosedPortRaiseTheirOwnMessages)
{
    std::string data;
    EXPECT_COM_ERROR(Port->SetDTRLine(true), EComPort::EscapeFailed);
    EXPECT_COM_ERROR(Port->SetRTSLine(false), EComPort::EscapeFailed);
    EXPECT_COM_ERROR(Port->BytesWaiting(), EComPort::ClearErrorFailed);
    EXPECT_COM_ERROR(Port->ModemSignals(), EComPort::ModemStatusFailed);
    EXPECT_COM_ERROR(Port->PurgePort(), EComPort::PurgeFailed);
    EXPECT_COM_ERROR(Port->WriteText("x"), EComPort::WriteFailed);
    EXPECT_COM_ERROR(Port->ReadText(data, 4), EComPort::ReadFailed);
}

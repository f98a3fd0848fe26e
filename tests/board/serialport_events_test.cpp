#include "comthread.h"
#include "fakeportfixture.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t AllEvents = 0x5BD;

} // namespace

TEST(PortEventMaskTest, AllEightEventsMakeTheSystemMask0x5BD)
{
    EXPECT_EQ(MaskFromPortEvents(0xFF), AllEvents);
    EXPECT_EQ(PortEventsFromMask(AllEvents), 0xFF);
}

TEST(PortEventMaskTest, BitsOfUnwatchedSystemEventsAreDropped)
{
    const std::uint32_t breakAndFlag = 0x0040 | 0x0002;
    EXPECT_EQ(PortEventsFromMask(breakAndFlag), 0);
    EXPECT_EQ(PortEventsFromMask(breakAndFlag | PortBits::EvRing), peRing);
}

TEST_F(FakePortTest, OneWakeUpDispatchesItsEventsInTheFixedOrder)
{
    std::vector<std::string> calls;
    Port->OnError = [&](TSerialPort&, TComErrors errors) { calls.push_back("Error " + std::to_string(errors)); };
    Port->OnRxChar = [&](TSerialPort&, int count) { calls.push_back("RxChar " + std::to_string(count)); };
    Port->OnTxEmpty = [&](TSerialPort&) { calls.push_back("TxEmpty"); };
    Port->OnRing = [&](TSerialPort&) { calls.push_back("Ring"); };
    Port->OnCTSChange = [&](TSerialPort&, bool on) { calls.push_back(std::string("CTS ") + (on ? "on" : "off")); };
    Port->OnDSRChange = [&](TSerialPort&, bool on) { calls.push_back(std::string("DSR ") + (on ? "on" : "off")); };
    Port->OnRLSDChange = [&](TSerialPort&, bool on) { calls.push_back(std::string("RLSD ") + (on ? "on" : "off")); };
    Port->OnRx80Full = [&](TSerialPort&) { calls.push_back("Rx80Full"); };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput("abc");
    Driver->SetErrorWord(PortBits::CeFrame);
    Driver->SetModemStatus(PortBits::MsCtsOn | PortBits::MsRlsdOn);
    Driver->QueueWait(EWaitResult::Events, AllEvents);
    ASSERT_TRUE(ServeUntil([&] { return calls.size() == 8; }));
    const std::vector<std::string> expected{"Error 1", "RxChar 3", "TxEmpty", "Ring",
                                            "CTS on",  "DSR off",  "RLSD on", "Rx80Full"};
    EXPECT_EQ(calls, expected);
}

TEST_F(FakePortTest, ReceivedCharactersAlreadyReadRaiseNoFurtherEvent)
{
    std::vector<std::string> reads;
    Port->OnRxChar = [&](TSerialPort& port, int count) {
        std::string data;
        port.ReadText(data, count);
        reads.push_back(data);
    };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput("QUORLANE");
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRxChar);
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRxChar);
    ASSERT_TRUE(ServeUntil([&] { return Driver->WaitCalls() >= 3; }));
    EXPECT_EQ(reads, std::vector<std::string>{"QUORLANE"});
}

TEST_F(FakePortTest, ParityErrorIsReportedOnlyWhenParityIsOn)
{
    std::vector<TComErrors> errors;
    Port->OnError = [&](TSerialPort&, TComErrors set) { errors.push_back(set); };
    ASSERT_TRUE(Port->OpenPort());
    Driver->SetErrorWord(PortBits::CeRxParity);
    Driver->QueueWait(EWaitResult::Events, PortBits::EvErr);
    ASSERT_TRUE(ServeUntil([&] { return Driver->WaitCalls() >= 2; }));
    EXPECT_TRUE(errors.empty());

    Port->SetParity(paEven);
    Driver->SetErrorWord(PortBits::CeRxParity | PortBits::CeOverrun | PortBits::CeBreak);
    Driver->QueueWait(EWaitResult::Events, PortBits::EvErr);
    ASSERT_TRUE(ServeUntil([&] { return errors.size() == 1; }));
    EXPECT_EQ(errors[0], ceRxParity | ceOverrun | ceBreak);
}

TEST_F(FakePortTest, ErrorEventClearsTheErrorStateEvenWithNoHandlerAndNoErrors)
{
    bool called = false;
    Port->OnError = [&](TSerialPort&, TComErrors) { called = true; };
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Driver->QueueWait(EWaitResult::Events, PortBits::EvErr);
    ASSERT_TRUE(ServeUntil([&] { return Driver->WaitCalls() >= 2; }));
    EXPECT_FALSE(called);
    EXPECT_EQ(Driver->Log(), std::vector<std::string>{"ClearError"});
}

TEST_F(FakePortTest, ThreadSyncRunsHandlersOnTheServingThreadAndArmsTheNextWaitAfterThem)
{
    std::thread::id handlerThread;
    int waitsDuringHandler = -1;
    Port->OnRing = [&](TSerialPort&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        handlerThread = std::this_thread::get_id();
        waitsDuringHandler = Driver->WaitCalls();
    };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRing);
    ASSERT_TRUE(ServeUntil([&] { return waitsDuringHandler >= 0; }));
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(waitsDuringHandler, 1);
}

TEST_F(FakePortTest, NoSyncRunsHandlersOnTheWaitThread)
{
    std::atomic<bool> called = false;
    std::thread::id handlerThread;
    Port->SetSyncMethod(smNone);
    Port->OnTxEmpty = [&](TSerialPort&) {
        handlerThread = std::this_thread::get_id();
        called = true;
    };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueWait(EWaitResult::Events, PortBits::EvTxEmpty);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!called && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(called);
    EXPECT_NE(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(HandOver.ProcessPending(), 0);
}

TEST_F(FakePortTest, ExceptionInAThreadSyncHandlerSilentlyEndsTheEventsUntilReopened)
{
    int calls = 0;
    Port->OnRxChar = [&](TSerialPort&, int) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput("x");
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRxChar);
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRxChar);
    ASSERT_TRUE(ServeUntil([&] { return calls == 1; }));
    ServeFor(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Driver->WaitCalls(), 1);
    EXPECT_TRUE(Port->Connected());

    EXPECT_TRUE(Port->ClosePort());
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(ServeUntil([&] { return calls == 2; }));
}

TEST_F(FakePortTest, ExceptionInAWindowSyncHandlerIsShownAndTheThreadGoesOn)
{
    std::vector<std::string> shown;
    HandOver.SetErrorDisplay([&](const std::exception& e) { shown.push_back(e.what()); });
    Port->SetSyncMethod(smWindowSync);
    int calls = 0;
    Port->OnRing = [&](TSerialPort&) {
        ++calls;
        throw std::runtime_error("ring failed");
    };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRing);
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRing);
    ASSERT_TRUE(ServeUntil([&] { return calls == 2; }));
    EXPECT_EQ(shown, (std::vector<std::string>{"ring failed", "ring failed"}));
}

TEST_F(FakePortTest, WindowSyncReleasesTheWaitThreadBeforeTheHandlerRuns)
{
    Port->SetSyncMethod(smWindowSync);
    bool rearmed = false;
    Port->OnRing = [&](TSerialPort&) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (Driver->WaitCalls() < 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        rearmed = Driver->WaitCalls() >= 2;
    };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRing);
    ASSERT_TRUE(ServeUntil([&] { return rearmed; }, 3000));
}

TEST_F(FakePortTest, CloseCompletesAHandOverAlreadyQueuedWhileThePortIsStillOpen)
{
    bool connectedInHandler = false;
    int calls = 0;
    Port->OnRxChar = [&](TSerialPort& port, int) {
        ++calls;
        connectedInHandler = port.Connected();
    };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput("late");
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRxChar);
    while (Driver->WaitCalls() < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(Port->ClosePort());
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(connectedInHandler);
}

TEST_F(FakePortTest, ClosingThePortFromItsOwnHandlerDoesNotDeadlock)
{
    Port->OnRxChar = [](TSerialPort& port, int) { port.ClosePort(); };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueInput("bye");
    Driver->QueueWait(EWaitResult::Events, PortBits::EvRxChar);
    ASSERT_TRUE(ServeUntil([&] { return !Port->Connected(); }));
    EXPECT_FALSE(Driver->IsOpen());
}

TEST_F(FakePortTest, FailedWaitsArePacedAndCountAsLostAfterHalfASecond)
{
    std::atomic<int> lost = 0;
    Port->OnPortLost = [&](TSerialPort&) { ++lost; };
    ASSERT_TRUE(Port->OpenPort());
    for (int i = 0; i < 100; ++i)
        Driver->QueueWait(EWaitResult::Failed);
    ServeFor(300);
    EXPECT_LE(Driver->WaitCalls(), 5) << "failed waits must not be retried at once";
    EXPECT_EQ(lost, 0);
    ASSERT_TRUE(ServeUntil([&] { return lost == 1; }, 1000));
    ServeFor(300);
    EXPECT_EQ(lost, 1);
}

TEST_F(FakePortTest, VanishedDeviceIsReportedOnceOnTheServingThread)
{
    std::vector<std::thread::id> reports;
    Port->OnPortLost = [&](TSerialPort&) { reports.push_back(std::this_thread::get_id()); };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueWait(EWaitResult::Gone);
    Driver->QueueWait(EWaitResult::Gone);
    ASSERT_TRUE(ServeUntil([&] { return !reports.empty(); }, 1000));
    ServeFor(300);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], std::this_thread::get_id());
    EXPECT_TRUE(Port->Lost());
}

TEST_F(FakePortTest, LossNoticedWhileClosingIsNotReportedAfterTheClose)
{
    int lost = 0;
    Port->OnPortLost = [&](TSerialPort&) { ++lost; };
    ASSERT_TRUE(Port->OpenPort());
    Driver->QueueWait(EWaitResult::Gone);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!Port->Lost() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(Port->Lost());
    EXPECT_TRUE(Port->ClosePort());
    EXPECT_EQ(HandOver.ProcessPending(), 0);
    EXPECT_EQ(lost, 0);
}

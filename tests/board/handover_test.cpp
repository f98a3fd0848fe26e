#include "handover.h"
#include "stopsignal.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

void ServeUntil(THandOver& handOver, const std::atomic<bool>& done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done && std::chrono::steady_clock::now() < until) {
        handOver.ProcessPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

TEST(HandOverTest, SendRunsTheCallOnTheServingThreadAndWaitsForIt)
{
    THandOver handOver;
    TStopSignal stop;
    std::thread::id ranOn;
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        handOver.Send([&] { ranOn = std::this_thread::get_id(); }, stop, nullptr);
        returned = true;
    });
    ServeUntil(handOver, returned);
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(HandOverTest, SendCarriesTheCallsExceptionBackToTheWorker)
{
    THandOver handOver;
    TStopSignal stop;
    std::string caught;
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        try {
            handOver.Send([] { throw std::runtime_error("from main"); }, stop, nullptr);
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        returned = true;
    });
    ServeUntil(handOver, returned);
    worker.join();
    EXPECT_EQ(caught, "from main");
}

TEST(HandOverTest, WakeHookIsCalledForEveryQueuedCall)
{
    THandOver handOver;
    std::atomic<int> wakes = 0;
    handOver.SetWakeHook([&] { ++wakes; });
    handOver.Post([] {}, nullptr);
    handOver.Post([] {}, nullptr);
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(handOver.ProcessPending(), 2);
    EXPECT_EQ(handOver.ProcessPending(), 0);
}

TEST(HandOverTest, ExceptionOfAPostedCallGoesToTheErrorDisplay)
{
    THandOver handOver;
    std::string shown;
    handOver.SetErrorDisplay([&](const std::exception& e) { shown = e.what(); });
    handOver.Post([] { throw std::runtime_error("posted failure"); }, nullptr);
    EXPECT_EQ(handOver.ProcessPending(), 1);
    EXPECT_EQ(shown, "posted failure");
}

TEST(HandOverTest, WithdrawDropsOnlyTheOwnersQueuedCalls)
{
    THandOver handOver;
    int mine = 0;
    int other = 0;
    const int ownerA = 0;
    const int ownerB = 0;
    handOver.Post([&] { ++mine; }, &ownerA);
    handOver.Post([&] { ++other; }, &ownerB);
    handOver.Withdraw(&ownerA);
    EXPECT_EQ(handOver.ProcessPending(), 1);
    EXPECT_EQ(mine, 0);
    EXPECT_EQ(other, 1);
}

TEST(HandOverTest, CallQueuedFromInsideACallRunsInTheSamePass)
{
    THandOver handOver;
    std::string order;
    handOver.Post(
        [&] {
            order += "a";
            handOver.Post([&] { order += "b"; }, nullptr);
        },
        nullptr);
    EXPECT_EQ(handOver.ProcessPending(), 2);
    EXPECT_EQ(order, "ab");
}

TEST(HandOverTest, WorkerLeavesACallThatIsRunningWhenItsStopSignalArrives)
{
    THandOver handOver;
    TStopSignal stop;
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        handOver.Send(
            [&] {
                stop.Signal();
                handOver.Interrupt();
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (!returned && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            },
            stop, nullptr);
        returned = true;
    });
    ServeUntil(handOver, returned);
    worker.join();
    EXPECT_TRUE(returned);
}

TEST(StopSignalTest, WaitTimesOutUntilSignalledAndThenStaysSignalled)
{
    TStopSignal stop;
    EXPECT_FALSE(stop.IsSignalled());
    EXPECT_FALSE(stop.WaitFor(10));
    stop.Signal();
    EXPECT_TRUE(stop.WaitFor(1000));
    EXPECT_TRUE(stop.IsSignalled());
}

#include "comthread.h"

#include <array>
#include <chrono>
#include <utility>

namespace {

// The pause after a failed wait keeps a vanished device from spinning a core.
constexpr int PauseAfterFailedWait = 100;
// Failed waits in a row after which the device counts as gone (about half a second).
constexpr int FailuresUntilLost = 5;

constexpr std::array<std::pair<TPortEvent, std::uint32_t>, 8> EventBits{{
    {peRxChar, PortBits::EvRxChar},
    {peTxEmpty, PortBits::EvTxEmpty},
    {peRing, PortBits::EvRing},
    {peCTS, PortBits::EvCts},
    {peDSR, PortBits::EvDsr},
    {peRLSD, PortBits::EvRlsd},
    {peError, PortBits::EvErr},
    {peRx80Full, PortBits::EvRx80Full},
}};

} // namespace

TPortEvents PortEventsFromMask(std::uint32_t mask)
{
    TPortEvents events = 0;
    for (const auto& [event, bit] : EventBits) {
        if (mask & bit)
            events |= event;
    }
    return events;
}

std::uint32_t MaskFromPortEvents(TPortEvents events)
{
    std::uint32_t mask = 0;
    for (const auto& [event, bit] : EventBits) {
        if (events & event)
            mask |= bit;
    }
    return mask;
}

TComThread::TComThread(TSerialPort& port) : FPort(port)
{
    FPort.FDriver->SetEventMask(MaskFromPortEvents(FPort.WatchedEvents()));
    FThread = std::thread(&TComThread::Execute, this);
}

TComThread::~TComThread()
{
    StopWaiting();
    FThread.join();
}

void TComThread::StopWaiting()
{
    FStop.Signal();
    std::this_thread::yield();
}

bool TComThread::WaitFinished(int milliseconds)
{
    std::unique_lock lock(FMutex);
    return FFinishedChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return FFinished; });
}

void TComThread::Execute()
{
    IPortDriver& driver = *FPort.FDriver;
    int failures = 0;
    for (;;) {
        std::uint32_t mask = 0;
        const EWaitResult result = driver.WaitEvent(FStop, mask);
        if (result == EWaitResult::Stopped)
            break;
        if (result == EWaitResult::Events) {
            failures = 0;
            if (!HandOver(PortEventsFromMask(mask)))
                break;
            continue;
        }
        if (result == EWaitResult::Gone || ++failures >= FailuresUntilLost)
            ReportLost();
        if (FStop.WaitFor(PauseAfterFailedWait))
            break;
    }
    driver.SetEventMask(0);
    driver.Purge(PortBits::PurgeRxClear);
    {
        std::lock_guard lock(FMutex);
        FFinished = true;
    }
    FFinishedChanged.notify_all();
}

// Returns false when the hand-over raised, which ends the thread.
bool TComThread::HandOver(TPortEvents events)
{
    THandOver& handOver = FPort.FHandOver;
    switch (FPort.SyncMethod()) {
    case smThreadSync:
        try {
            handOver.Send([this, events] { FPort.DispatchPortEvents(events); }, FStop, &FPort);
        } catch (...) {
            FError = std::current_exception();
            return false;
        }
        return true;
    case smWindowSync:
        for (const TPortEvent event : DispatchOrder) {
            if (events & event) {
                handOver.SendAndRelease(
                    [this, event] {
                        if (FPort.Connected())
                            FPort.DispatchSingle(event);
                    },
                    FStop, &FPort);
            }
        }
        return true;
    case smNone:
        try {
            FPort.DispatchPortEvents(events);
        } catch (...) {
            FError = std::current_exception();
            return false;
        }
        return true;
    }
    return true;
}

void TComThread::ReportLost()
{
    if (FPort.FLost.exchange(true))
        return;
    if (FPort.SyncMethod() == smNone) {
        try {
            FPort.ReportLost();
        } catch (...) {
            FError = std::current_exception();
        }
        return;
    }
    TSerialPort* port = &FPort;
    FPort.FHandOver.Post([port] { port->ReportLost(); }, port);
}

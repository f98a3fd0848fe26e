#include "handover.h"

#include "stopsignal.h"

#include <algorithm>

struct THandOver::TItem
{
    TCall Call;
    const void* Owner = nullptr;
    bool ReportToDisplay = false;
    bool Started = false;
    bool Done = false;
    std::exception_ptr Error;
};

void THandOver::Send(TCall call, const TStopSignal& stop, const void* owner)
{
    auto item = std::make_shared<TItem>();
    item->Call = std::move(call);
    item->Owner = owner;
    Enqueue(item);
    WaitFor(item, stop, false);
    std::lock_guard lock(FMutex);
    if (item->Done && item->Error)
        std::rethrow_exception(item->Error);
}

void THandOver::SendAndRelease(TCall call, const TStopSignal& stop, const void* owner)
{
    auto item = std::make_shared<TItem>();
    item->Call = std::move(call);
    item->Owner = owner;
    item->ReportToDisplay = true;
    Enqueue(item);
    WaitFor(item, stop, true);
}

void THandOver::Post(TCall call, const void* owner)
{
    auto item = std::make_shared<TItem>();
    item->Call = std::move(call);
    item->Owner = owner;
    item->ReportToDisplay = true;
    Enqueue(item);
}

void THandOver::Withdraw(const void* owner)
{
    std::lock_guard lock(FMutex);
    std::erase_if(FQueue, [owner](const std::shared_ptr<TItem>& item) { return item->Owner == owner; });
}

void THandOver::Interrupt()
{
    {
        // Taken so that the wake-up cannot fall between a worker's look at its stop signal and its sleep.
        std::lock_guard lock(FMutex);
    }
    FChanged.notify_all();
}

int THandOver::ProcessPending()
{
    int count = 0;
    for (;;) {
        std::shared_ptr<TItem> item;
        {
            std::lock_guard lock(FMutex);
            if (FQueue.empty())
                return count;
            item = FQueue.front();
            FQueue.pop_front();
            item->Started = true;
        }
        FChanged.notify_all();
        std::exception_ptr error;
        try {
            item->Call();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(FMutex);
            item->Done = true;
            item->Error = error;
        }
        FChanged.notify_all();
        if (error && item->ReportToDisplay)
            ShowError(error);
        ++count;
    }
}

void THandOver::SetWakeHook(std::function<void()> hook)
{
    std::lock_guard lock(FMutex);
    FWakeHook = std::move(hook);
}

void THandOver::SetErrorDisplay(std::function<void(const std::exception&)> display)
{
    std::lock_guard lock(FMutex);
    FErrorDisplay = std::move(display);
}

void THandOver::Enqueue(const std::shared_ptr<TItem>& item)
{
    std::function<void()> wake;
    {
        std::lock_guard lock(FMutex);
        FQueue.push_back(item);
        wake = FWakeHook;
    }
    if (wake)
        wake();
}

// A call that has not started is always waited for: the owner's close serves it. A started call is left
// when the stop signal arrives, because then it is the call itself that is closing the owner.
void THandOver::WaitFor(const std::shared_ptr<TItem>& item, const TStopSignal& stop, bool untilStarted)
{
    std::unique_lock lock(FMutex);
    for (;;) {
        if (item->Done || (untilStarted && item->Started))
            return;
        if (item->Started && stop.IsSignalled())
            return;
        FChanged.wait(lock);
    }
}

void THandOver::ShowError(std::exception_ptr error)
{
    std::function<void(const std::exception&)> display;
    {
        std::lock_guard lock(FMutex);
        display = FErrorDisplay;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        if (display)
            display(e);
    } catch (...) {
        // Not a standard exception: nothing the display could show.
    }
}

THandOver& MainThreadHandOver()
{
    static THandOver handOver;
    return handOver;
}

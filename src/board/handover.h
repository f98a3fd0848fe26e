#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class TStopSignal;

// Runs calls from other threads on the main thread. A worker queues a call and (Send) blocks until it has run
// or (Post) goes on at once. The main thread runs queued calls in ProcessPending.
//
// Wiring in the application: SetWakeHook with a function that posts an event to the main thread whose handler
// calls ProcessPending (e.g. QMetaObject::invokeMethod(qApp, [] { MainThreadHandOver().ProcessPending(); },
// Qt::QueuedConnection)); since processEvents delivers posted events, calls are also served inside every
// processEvents of a long flow. SetErrorDisplay shows exceptions of posted calls.
class THandOver
{
public:
    using TCall = std::function<void()>;

    // Runs `call` on the main thread and waits for it; rethrows what it raised. Returns early only when `stop`
    // is signalled (followed by Interrupt) while the call is already running, which happens when the call
    // itself closes the port that owns this worker.
    void Send(TCall call, const TStopSignal& stop, const void* owner);
    // Queues `call` and returns once the main thread has taken it up; its exception goes to the error display.
    void SendAndRelease(TCall call, const TStopSignal& stop, const void* owner);
    // Queues `call` and returns at once; its exception goes to the error display.
    void Post(TCall call, const void* owner);
    // Drops queued calls of `owner` that have not started.
    void Withdraw(const void* owner);
    // Wakes waiting workers so that they look at their stop signals again.
    void Interrupt();

    // Main thread: runs every call queued so far; returns how many ran.
    int ProcessPending();

    void SetWakeHook(std::function<void()> hook);
    void SetErrorDisplay(std::function<void(const std::exception&)> display);

private:
    struct TItem;
    void Enqueue(const std::shared_ptr<TItem>& item);
    void WaitFor(const std::shared_ptr<TItem>& item, const TStopSignal& stop, bool untilStarted);
    void ShowError(std::exception_ptr error);

    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::shared_ptr<TItem>> FQueue;
    std::function<void()> FWakeHook;
    std::function<void(const std::exception&)> FErrorDisplay;
};

// The one hand-over of the program's main thread.
THandOver& MainThreadHandOver();

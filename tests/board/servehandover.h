#pragma once

#include "handover.h"

#include <chrono>
#include <functional>
#include <thread>

// Serves hand-overs as the main thread would until `done` holds; false when `milliseconds` pass first.
inline bool ServeHandOverUntil(THandOver& handOver, const std::function<bool()>& done, int milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        handOver.ProcessPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

#pragma once

#include <QElapsedTimer>
#include <QTest>

#include <functional>

// Runs the event loop (and with it the engine) until the condition holds or the limit passes;
// returns whether it held. The limit only bounds a failing test, it measures nothing.
inline bool WaitUntil(const std::function<bool()>& condition, int limitMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

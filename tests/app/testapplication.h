#pragma once

#include "application.h"

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

// The program's own application object, made once per test program: every window test needs one, and Qt allows
// only one per process.
inline void EnsureTestApplication()
{
    static int argc = 1;
    static char name[] = "quorlane-test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        new TApplication(argc, argv);
    }
}

// Processes events until the condition holds; false when it did not within the time.
inline bool ProcessEventsUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

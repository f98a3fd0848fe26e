#pragma once

#include "application.h"

#include <QApplication>

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

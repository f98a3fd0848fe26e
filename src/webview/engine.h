#pragma once

#include <stdexcept>

// Start-up of the browser engine (Qt WebEngine, which embeds Chromium).
//
// How the engine's duties are shared out here:
// - Process-wide start settings and the split into main process and engine sub-processes: Qt runs
//   its own helper program (QtWebEngineProcess) for the renderer and utility processes, so this
//   program's executable is never started as one of them and StartEngine never returns false.
// - Initialising the engine: Qt does it when the first page is made; StartEngine only sets what
//   Qt needs before the application object exists and checks that the engine's files are there.
// - The work pump: Qt's event loop drives the engine, in the application's loop and inside every
//   QCoreApplication::processEvents() of a long flow, which is what a 10 ms timer would give.
// - Stopping the engine: Qt shuts it down when the application object ends; the program's part is
//   to destroy the window, and with it every browser, before that.

// The engine cannot start: its helper program or its resources are missing.
class EEngineError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Prepares the engine; call before the application object is created. Returns true in the
// program's own process (also when called again). Throws EEngineError when the engine cannot run.
// The browser control calls it again before it makes its page.
bool StartEngine();

// Qt's high-DPI handling, pinned to exact scale factors; call after StartEngine, before the
// application object is created.
void EnableHighDpi();

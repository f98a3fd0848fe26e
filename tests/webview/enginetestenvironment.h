#pragma once

#include <memory>

class TBoardWebServer;

// Prepares a test program for a real engine, as the program's start-up does, before the application
// object exists: an offscreen window system, the GPU off, the engine started, and a loopback proxy
// for every request to a host name (loopback addresses bypass it; host names are never resolved
// here, so nothing leaves the machine). The caller keeps the returned server until the end.
std::unique_ptr<TBoardWebServer> PrepareEngineTests();

// The server whose proxy PrepareEngineTests set up.
TBoardWebServer& TestProxy();

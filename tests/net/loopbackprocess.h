#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// Helpers for tests that run real servers as child processes on loopback ports.

// A fresh directory under the system's temporary directory, named after prefix.
std::filesystem::path MakeTempDirectory(const std::string& prefix);
// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();
// Starts the program (searched on PATH) with its arguments; its output goes to the test's own.
pid_t StartProcess(const std::vector<std::string>& arguments);
// True once something accepts connections on 127.0.0.1:port, false after timeoutMs.
bool WaitForLoopbackPort(int port, int timeoutMs = 10000);
// Ends the process by its id: SIGTERM, then SIGKILL when it has not ended after a few seconds; reaps it.
void StopProcess(pid_t pid);

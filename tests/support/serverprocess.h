#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace quorlane::testsupport {

// A child process (a server under test) with stdin from /dev/null and stdout and stderr in a log file. Stopped by
// its process id: SIGTERM, then SIGKILL when it has not ended within a few seconds.
class TServerProcess
{
public:
    TServerProcess(const std::vector<std::string>& argv, const std::string& logFile);
    ~TServerProcess();
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    // Waits for the process to end by itself; its exit status, or -1 when it was still running after timeoutMs.
    int WaitForExit(int timeoutMs);
    void Stop();
    // Sends the signal to the process while it runs.
    void Signal(int signal) const;

private:
    pid_t FPid = -1;
    int FStatus = -1;
};

// Runs a command to its end; its exit status (-1 when it could not start). Output goes to logFile.
int RunCommand(const std::vector<std::string>& argv, const std::string& logFile);

} // namespace quorlane::testsupport

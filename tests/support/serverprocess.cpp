#include "serverprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quorlane::testsupport {

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& logFile)
{
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

} // namespace

TServerProcess::TServerProcess(const std::vector<std::string>& argv, const std::string& logFile)
    : FPid(Spawn(argv, logFile))
{
    if (FPid < 0) {
        throw std::runtime_error("cannot start " + argv.at(0));
    }
}

TServerProcess::~TServerProcess()
{
    Stop();
}

void TServerProcess::Signal(int signal) const
{
    if (FPid > 0) {
        ::kill(FPid, signal);
    }
}

int TServerProcess::WaitForExit(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (FPid > 0) {
        int status = 0;
        if (waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;
            FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return FStatus;
}

void TServerProcess::Stop()
{
    if (FPid <= 0) {
        return;
    }
    kill(FPid, SIGTERM);
    if (WaitForExit(5000) == -1 && FPid > 0) {
        kill(FPid, SIGKILL);
        WaitForExit(5000);
    }
}

int RunCommand(const std::vector<std::string>& argv, const std::string& logFile)
{
    const pid_t pid = Spawn(argv, logFile);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace quorlane::testsupport

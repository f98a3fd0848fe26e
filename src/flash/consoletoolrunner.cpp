#include "consoletoolrunner.h"

#include "programdirectory.h"
#include "toolscreen.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>
#include <vector>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

// How long a wait for the tool may keep the window from processing its events.
constexpr int EventIntervalMs = 20;
constexpr size_t PieceSize = 255;
// How often the window processes its events while the tool's output streams in: often enough for the memo to
// follow smoothly, not after every piece.
constexpr std::chrono::milliseconds OutputEventInterval(10);

class TUniqueFd
{
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : FFd(fd) {}
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    ~TUniqueFd() { Close(); }

    int Get() const { return FFd; }
    void Close()
    {
        if (FFd >= 0) {
            ::close(FFd);
            FFd = -1;
        }
    }

private:
    int FFd = -1;
};

class TSpawnActions
{
public:
    TSpawnActions() { posix_spawn_file_actions_init(&FActions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&FActions); }
    posix_spawn_file_actions_t* Get() { return &FActions; }

private:
    posix_spawn_file_actions_t FActions;
};

class TSpawnAttributes
{
public:
    TSpawnAttributes() { posix_spawnattr_init(&FAttributes); }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;
    ~TSpawnAttributes() { posix_spawnattr_destroy(&FAttributes); }
    posix_spawnattr_t* Get() { return &FAttributes; }

private:
    posix_spawnattr_t FAttributes;
};

// The started command, leader of its own process group. Its end is seen without reaping it, so that its process
// group id cannot be given to another process while whatever it left in the group is killed.
class TToolProcess
{
public:
    explicit TToolProcess(pid_t pid) : FPid(pid), FEnded(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
    TToolProcess(const TToolProcess&) = delete;
    TToolProcess& operator=(const TToolProcess&) = delete;
    ~TToolProcess()
    {
        if (FPid > 0) {
            Signal(SIGKILL);
            Finish();
        }
    }

    // Readable once the command has ended; -1 where the kernel has no process descriptors.
    int EndedFd() const { return FEnded.Get(); }

    bool HasEnded() const
    {
        siginfo_t info{};
        const int result = ::waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOHANG | WNOWAIT);
        return (result == 0 && info.si_pid == FPid) || (result < 0 && errno != EINTR);
    }

    void Signal(int signal) const { ::kill(-FPid, signal); }

    // Kills what the command left running in its group, reaps the command and returns its exit status.
    int Finish()
    {
        Signal(SIGKILL);
        int status = 0;
        pid_t done;
        while ((done = ::waitpid(FPid, &status, 0)) < 0 && errno == EINTR) {
        }
        FPid = -1;
        if (done < 0) {
            return -1;
        }
        if (WIFEXITED(status)) {
            return WEXITSTATUS(status);
        }
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }

private:
    pid_t FPid;
    TUniqueFd FEnded;
};

// Stops the tool when the caller cancels (SIGINT, which lets a tool put the chip back; SIGTERM and SIGKILL for a
// tool that does not end) or when it runs past its time limit (SIGKILL at once).
class TToolStop
{
public:
    TToolStop(const TToolProcess& tool, const TToolRunLimits& limits)
        : FTool(tool), FLimits(limits), FStarted(TClock::now())
    {
    }

    void Check()
    {
        const TClock::time_point now = TClock::now();
        if (FEnd == TToolEnd::Exited) {
            if (FLimits.TimeLimit.count() > 0 && now - FStarted >= FLimits.TimeLimit) {
                FEnd = TToolEnd::TimedOut;
                FTool.Signal(SIGKILL);
            } else if (FLimits.Cancelled && FLimits.Cancelled()) {
                FEnd = TToolEnd::Cancelled;
                FStopAt = now;
                FTool.Signal(SIGINT);
            }
            return;
        }
        if (FEnd != TToolEnd::Cancelled) {
            return;
        }
        if (FStep == 0 && now - FStopAt >= StopTermAfter) {
            FStep = 1;
            FTool.Signal(SIGTERM);
        } else if (FStep == 1 && now - FStopAt >= StopKillAfter) {
            FStep = 2;
            FTool.Signal(SIGKILL);
        }
    }

    TToolEnd End() const { return FEnd; }

private:
    const TToolProcess& FTool;
    const TToolRunLimits& FLimits;
    TClock::time_point FStarted;
    TClock::time_point FStopAt;
    TToolEnd FEnd = TToolEnd::Exited;
    int FStep = 0;
};

// The tool's output as it arrives: shown in the memo as a terminal would, and kept as its most recent bytes.
class TToolOutput
{
public:
    TToolOutput(int readFd, IConsoleMemo& memo, std::string& output)
        : FFd(readFd), FMemo(memo), FScreen(memo), FOutput(output), FProcessedAt(TClock::now())
    {
    }

    // Waits up to waitMs for output or for the tool's end (endedFd), takes one piece of output, and lets the window
    // process its events when it has not for a while.
    void Step(int endedFd, int waitMs)
    {
        pollfd ready[2] = {{FOpen ? FFd : -1, POLLIN, 0}, {endedFd, POLLIN, 0}};
        const int count = ::poll(ready, 2, waitMs);
        if (count > 0 && ready[0].revents != 0) {
            ReadPiece();
        }
        if (count == 0 || TClock::now() - FProcessedAt >= OutputEventInterval) {
            FMemo.ProcessPendingEvents();
            FProcessedAt = TClock::now();
        }
    }

    // Reads what is still in the pipe, for at most DrainAfterEnd.
    void Drain()
    {
        const TClock::time_point deadline = TClock::now() + DrainAfterEnd;
        while (FOpen) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
            pollfd ready{FFd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) == 0) {
                break;
            }
            ReadPiece();
        }
        if (FOutput.size() > MaxCapturedOutput) {
            FOutput.erase(0, FOutput.size() - MaxCapturedOutput);
        }
    }

private:
    void ReadPiece()
    {
        char buffer[PieceSize];
        const ssize_t got = ::read(FFd, buffer, PieceSize);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            return;
        }
        if (got <= 0) {
            FOpen = false;
            return;
        }
        const std::string_view piece(buffer, static_cast<std::size_t>(got));
        FScreen.Write(piece);
        FOutput += piece;
        // Trimmed in large steps, so that a talkative tool does not move the whole tail for every piece.
        if (FOutput.size() > 2 * MaxCapturedOutput) {
            FOutput.erase(0, FOutput.size() - MaxCapturedOutput);
        }
    }

    int FFd;
    bool FOpen = true;
    IConsoleMemo& FMemo;
    TToolScreen FScreen;
    std::string& FOutput;
    TClock::time_point FProcessedAt;
};

// Set for the tool whatever the program's environment says: no colours and no cursor movements, which a memo would
// show as boxes, and a Python tool's output unbuffered, so that its progress arrives while it works.
constexpr std::string_view ToolSettings[] = {"NO_COLOR=1", "TERM=dumb", "PYTHONUNBUFFERED=1"};

bool IsOverridden(std::string_view variable)
{
    for (std::string_view setting : ToolSettings) {
        if (variable.starts_with(setting.substr(0, setting.find('=') + 1))) {
            return true;
        }
    }
    return false;
}

// The program's environment with the program's directory put first on PATH and the tool's settings.
std::vector<std::string> ChildEnvironment(const std::string& programDirectory)
{
    constexpr std::string_view pathKey = "PATH=";
    std::vector<std::string> environment(std::begin(ToolSettings), std::end(ToolSettings));
    std::string path;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string_view variable(*entry);
        if (variable.starts_with(pathKey)) {
            path = variable.substr(pathKey.size());
        } else if (!IsOverridden(variable)) {
            environment.emplace_back(variable);
        }
    }
    if (path.empty()) {
        // The shell's own search path when PATH is not set.
        path = "/bin:/usr/bin";
    }
    environment.push_back(std::string(pathKey) + programDirectory + ":" + path);
    return environment;
}

std::vector<char*> PointerList(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Starts /bin/sh -c -- command in directory, in a new process group, with standard input from /dev/null and
// standard output and standard error on outputFd. Returns the child's id, or -1 when it could not be started (also
// when directory is unusable).
pid_t StartShell(const std::string& command, const std::string& directory, int outputFd)
{
    TSpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.Get(), outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), outputFd, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(actions.Get(), directory.c_str());

    // The tool gets default signal handling, whatever the program ignores or blocks, and a process group of its own:
    // a stop reaches the tool and what it started, and a Ctrl+C in the program's terminal reaches only the program.
    TSpawnAttributes attributes;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigdefault(attributes.Get(), &defaults);
    posix_spawnattr_setsigmask(attributes.Get(), &noneBlocked);
    posix_spawnattr_setpgroup(attributes.Get(), 0);
    posix_spawnattr_setflags(attributes.Get(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> arguments = {"sh", "-c", "--", command};
    std::vector<std::string> environment = ChildEnvironment(ProgramDirectory());
    std::vector<char*> argv = PointerList(arguments);
    std::vector<char*> envp = PointerList(environment);

    pid_t pid = -1;
    if (::posix_spawn(&pid, "/bin/sh", actions.Get(), attributes.Get(), argv.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

} // namespace

TToolResult RunConsoleTool(const std::string& command, IConsoleMemo& memo, const std::string& directory,
                           std::string& output, const TToolRunLimits& limits)
{
    output.clear();

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return {};
    }
    TUniqueFd readEnd(ends[0]);
    TUniqueFd writeEnd(ends[1]);

    const pid_t pid = StartShell(command, directory, writeEnd.Get());
    // From here on only the child and what it starts hold a write end.
    writeEnd.Close();
    if (pid < 0) {
        return {};
    }
    TToolProcess tool(pid);
    TToolOutput toolOutput(readEnd.Get(), memo, output);
    TToolStop stop(tool, limits);
    while (!tool.HasEnded()) {
        toolOutput.Step(tool.EndedFd(), EventIntervalMs);
        stop.Check();
    }
    toolOutput.Drain();
    return {stop.End(), tool.Finish()};
}

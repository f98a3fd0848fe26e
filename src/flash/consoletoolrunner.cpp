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

#include <chrono>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

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

// The started child and the read end of its output. The child is reaped on every path out of the
// runner; when an error leaves the runner early, the read end is closed first, so that a tool that
// still writes ends on a broken pipe instead of blocking the wait.
class TChild
{
public:
    TChild(pid_t pid, TUniqueFd& output) : FPid(pid), FOutput(output) {}
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild()
    {
        FOutput.Close();
        if (FPid > 0) {
            while (::waitpid(FPid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }

    // Waits without a time limit, but keeps the window alive while the child has not ended yet. Returns the exit
    // status: the child's exit code, 128 plus the signal that ended it, or -1 when it cannot be told.
    int WaitForEnd(IConsoleMemo& memo)
    {
        // Readable once the child has ended, so the wait ends with it rather than at the next interval; where the
        // kernel has no process descriptors the wait is the plain interval.
        const TUniqueFd ended(static_cast<int>(::syscall(SYS_pidfd_open, FPid, 0)));
        int status = 0;
        for (;;) {
            const pid_t done = ::waitpid(FPid, &status, WNOHANG);
            if (done == 0 || (done < 0 && errno == EINTR)) {
                memo.ProcessPendingEvents();
                pollfd end{ended.Get(), POLLIN, 0};
                ::poll(&end, 1, EventIntervalMs);
                continue;
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
    }

private:
    pid_t FPid;
    TUniqueFd& FOutput;
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

// Starts /bin/sh -c command in directory with standard output and standard error on outputFd.
// Returns the child's id, or -1 when it could not be started (also when directory is unusable).
pid_t StartShell(const std::string& command, const std::string& directory, int outputFd)
{
    TSpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.Get(), outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), outputFd, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(actions.Get(), directory.c_str());

    // The tool gets default signal handling, whatever the program ignores or blocks.
    TSpawnAttributes attributes;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigdefault(attributes.Get(), &defaults);
    posix_spawnattr_setsigmask(attributes.Get(), &noneBlocked);
    posix_spawnattr_setflags(attributes.Get(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> arguments = {"sh", "-c", command};
    std::vector<std::string> environment = ChildEnvironment(ProgramDirectory());
    std::vector<char*> argv = PointerList(arguments);
    std::vector<char*> envp = PointerList(environment);

    pid_t pid = -1;
    if (::posix_spawn(&pid, "/bin/sh", actions.Get(), attributes.Get(), argv.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

// Reads the tool's output in pieces of at most 255 bytes until the pipe ends, showing each piece in the memo and
// appending it to output. While no output comes, the window processes its events between short waits.
void StreamOutput(int readFd, IConsoleMemo& memo, std::string& output)
{
    TToolScreen screen(memo);
    char buffer[PieceSize + 1];
    auto processedAt = std::chrono::steady_clock::now();
    const auto processEvents = [&] {
        memo.ProcessPendingEvents();
        processedAt = std::chrono::steady_clock::now();
    };
    for (;;) {
        pollfd ready{readFd, POLLIN, 0};
        int count = ::poll(&ready, 1, EventIntervalMs);
        if (count == 0 || (count < 0 && errno == EINTR)) {
            processEvents();
            continue;
        }
        if (count < 0) {
            return;
        }
        ssize_t got = ::read(readFd, buffer, PieceSize);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        buffer[got] = '\0';
        // A zero byte cuts the piece there.
        std::string piece(buffer);
        screen.Write(piece);
        output += piece;
        if (std::chrono::steady_clock::now() - processedAt >= OutputEventInterval) {
            processEvents();
        }
    }
}

} // namespace

int RunConsoleTool(const std::string& command, IConsoleMemo& memo, const std::string& directory, std::string& output)
{
    output.clear();

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return -1;
    }
    TUniqueFd readEnd(ends[0]);
    TUniqueFd writeEnd(ends[1]);

    pid_t pid = StartShell(command, directory, writeEnd.Get());
    // From here on only the child and what it starts hold a write end, so the pipe ends with them.
    writeEnd.Close();
    if (pid < 0) {
        return -1;
    }
    TChild child(pid, readEnd);

    StreamOutput(readEnd.Get(), memo, output);
    return child.WaitForEnd(memo);
}

#pragma once

#include "consolememo.h"

#include <chrono>
#include <functional>
#include <string>

// How a tool run ended.
enum class TToolEnd {
    Exited,     // the tool ended by itself
    Cancelled,  // the caller asked it to stop, and it was stopped
    TimedOut,   // it ran past its time limit and was ended
    NotStarted, // it could not be started
};

struct TToolResult
{
    TToolEnd End = TToolEnd::NotStarted;
    // The exit code, or 128 plus the number of the signal that ended the command; -1 when it could not be started.
    int Status = -1;
};

// What the caller may ask of a run while it goes on.
struct TToolRunLimits
{
    // Asked between waits; once it says true, the tool is stopped: SIGINT to its process group, SIGTERM after
    // StopTermAfter, SIGKILL after StopKillAfter.
    std::function<bool()> Cancelled;
    // The tool is ended at once when it runs longer (zero: no limit).
    std::chrono::milliseconds TimeLimit{0};
};

inline constexpr std::chrono::seconds StopTermAfter{2};
inline constexpr std::chrono::seconds StopKillAfter{5};
// How long output that is still in the pipe is read once the tool has ended; a process the tool left behind that
// keeps the pipe open cannot hold the run longer.
inline constexpr std::chrono::milliseconds DrainAfterEnd{200};
// The run's output keeps its most recent bytes up to this size.
inline constexpr std::size_t MaxCapturedOutput = 1 << 20;

// Runs command through /bin/sh -c in directory, in a process group of its own with standard input from /dev/null,
// and shows everything it writes to standard output and standard error in memo while it runs, read in pieces of at
// most 255 bytes (see TToolScreen for how they become lines); output receives the most recent MaxCapturedOutput
// bytes of it, byte for byte. Returns when the command has ended; whatever it left running in its process group is
// then killed. The program's own directory comes first on the command's PATH, so a tool installed beside the program
// is found first; the tool runs with NO_COLOR=1, TERM=dumb and PYTHONUNBUFFERED=1.
TToolResult RunConsoleTool(const std::string& command, IConsoleMemo& memo, const std::string& directory,
                           std::string& output, const TToolRunLimits& limits = {});

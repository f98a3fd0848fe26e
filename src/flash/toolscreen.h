#pragma once

#include "consolememo.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Turns a console tool's output into the lines a memo shows, as a terminal would: LF and CR LF end a line, and a
// lone CR starts the line again, so that what follows replaces it. A progress line (one that shows a percentage)
// that follows a progress line takes its place, so that a flash shows one progress line instead of one per step:
// a tool whose output is a pipe prints each step on a line of its own. Overlong lines wrap; zero bytes are not shown.
// Only the most recent lines are kept: the screen changes no line but the last two, and the memo keeps its own.
class TToolScreen
{
public:
    static constexpr std::size_t MaxLineLength = 4096;
    // Only the last lines shown may still change: the open line and the progress line it may replace.
    static constexpr std::size_t ChangingLines = 2;

    explicit TToolScreen(IConsoleMemo& memo) : FMemo(memo) {}

    // Takes the next piece of output and shows what changed.
    void Write(std::string_view piece);

private:
    static constexpr std::size_t KeptLines = 16;

    void Put(char c);
    void EndLine();
    void StartLineAgain();
    void TakeProgressPlace();
    void MarkChanged(std::size_t line);

    IConsoleMemo& FMemo;
    // The run's most recent lines; FDropped lines before them are no longer kept.
    std::vector<std::string> FLines;
    std::size_t FDropped = 0;
    // Whether the last line is still being written.
    bool FLineOpen = false;
    // A CR was the last character: a LF after it ends the line, anything else starts the line again.
    bool FAfterCr = false;
    // The last line was a completed progress line, which the next progress line replaces.
    bool FProgressBefore = false;
    std::size_t FFirstChanged = 0;
    std::optional<int> FProgress;
};

// The percentage that a line of a tool's output shows ("(42 %)", "42.5%", "[ 42% ]"), the last one when it shows
// several; none when it shows no whole percentage from 0 to 100.
std::optional<int> ProgressPercent(std::string_view line);

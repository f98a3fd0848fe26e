#include "toolscreen.h"

#include <charconv>
#include <limits>

namespace {

constexpr std::size_t NothingChanged = std::numeric_limits<std::size_t>::max();

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The digits that end just before position end: where they start.
std::size_t DigitsBefore(std::string_view text, std::size_t end)
{
    while (end > 0 && IsDigit(text[end - 1])) {
        --end;
    }
    return end;
}

// The whole part of the number that ends just before a percent sign at position sign, if one does.
std::optional<int> PercentBefore(std::string_view line, std::size_t sign)
{
    std::size_t end = sign > 0 && line[sign - 1] == ' ' ? sign - 1 : sign;
    std::size_t start = DigitsBefore(line, end);
    if (start > 0 && start < end && line[start - 1] == '.') {
        end = start - 1;
        start = DigitsBefore(line, end);
    }
    int value = 0;
    if (start == end || end - start > 3 ||
        std::from_chars(line.data() + start, line.data() + end, value).ec != std::errc() || value > 100) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<int> ProgressPercent(std::string_view line)
{
    std::optional<int> last;
    for (std::size_t sign = line.find('%'); sign != std::string_view::npos; sign = line.find('%', sign + 1)) {
        if (const std::optional<int> percent = PercentBefore(line, sign)) {
            last = percent;
        }
    }
    return last;
}

void TToolScreen::Write(std::string_view piece)
{
    FFirstChanged = NothingChanged;
    for (char c : piece) {
        Put(c);
    }
    TakeProgressPlace();
    if (FFirstChanged == NothingChanged) {
        return;
    }
    const std::span<const std::string> changed = std::span(FLines).subspan(FFirstChanged);
    FMemo.ShowLines(FDropped + FFirstChanged, changed);
    for (auto line = changed.rbegin(); line != changed.rend(); ++line) {
        if (const std::optional<int> percent = ProgressPercent(*line)) {
            if (percent != FProgress) {
                FProgress = percent;
                FMemo.ShowProgress(*percent);
            }
            break;
        }
    }
    if (FLines.size() > 2 * KeptLines) {
        const std::size_t dropped = FLines.size() - KeptLines;
        FLines.erase(FLines.begin(), FLines.begin() + static_cast<std::ptrdiff_t>(dropped));
        FDropped += dropped;
    }
}

void TToolScreen::Put(char c)
{
    if (c == '\0') {
        return;
    }
    // CR CR LF ends the line as CR LF does: a terminal goes back to the line's start twice and keeps its text.
    if (FAfterCr && c != '\r') {
        FAfterCr = false;
        if (c == '\n') {
            EndLine();
            return;
        }
        StartLineAgain();
    }
    if (c == '\r') {
        FAfterCr = true;
        return;
    }
    if (c == '\n') {
        EndLine();
        return;
    }
    if (!FLineOpen) {
        FLines.emplace_back();
        FLineOpen = true;
    }
    FLines.back() += c;
    MarkChanged(FLines.size() - 1);
    if (FLines.back().size() >= MaxLineLength) {
        EndLine();
    }
}

void TToolScreen::EndLine()
{
    if (!FLineOpen) {
        FLines.emplace_back();
        FLineOpen = true;
        MarkChanged(FLines.size() - 1);
    }
    TakeProgressPlace();
    FLineOpen = false;
    FProgressBefore = ProgressPercent(FLines.back()).has_value();
}

void TToolScreen::StartLineAgain()
{
    if (FLineOpen && !FLines.back().empty()) {
        FLines.back().clear();
        MarkChanged(FLines.size() - 1);
    }
}

// The open line, once it shows a percentage, replaces the completed progress line before it.
void TToolScreen::TakeProgressPlace()
{
    if (!FLineOpen || !FProgressBefore || !ProgressPercent(FLines.back())) {
        return;
    }
    FLines.erase(FLines.end() - 2);
    FProgressBefore = false;
    MarkChanged(FLines.size() - 1);
}

void TToolScreen::MarkChanged(std::size_t line)
{
    FFirstChanged = std::min(FFirstChanged, line);
}

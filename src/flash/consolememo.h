#pragma once

#include <span>
#include <string>

// The memo a console tool's output is shown in, seen from the runner. The window plugs in its memo widget; tests
// plug in a plain list of lines.
class IConsoleMemo
{
public:
    virtual ~IConsoleMemo() = default;

    // Shows lines as the run's lines from index first on, replacing what the run showed there before. The run's
    // line 0 is the first line below the text the memo held when the run started. Texts are UTF-8 without line
    // breaks.
    virtual void ShowLines(std::size_t first, std::span<const std::string> lines) = 0;

    // The percentage of the tool's latest progress line, whenever it changes.
    virtual void ShowProgress(int /*percent*/) {}

    // Lets the window repaint and handle pending events while the tool runs.
    virtual void ProcessPendingEvents() = 0;
};

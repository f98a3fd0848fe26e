#pragma once

#include <string>

// The memo a console tool's output is streamed into, seen from the runner. The window plugs in its
// memo widget; tests plug in a plain string.
class IConsoleMemo
{
public:
    virtual ~IConsoleMemo() = default;

    // Appends text at the end of the memo's text, on the same line. Line breaks arrive as CR LF.
    virtual void AppendText(const std::string& text) = 0;

    // Lets the window repaint and handle pending events while the tool runs.
    virtual void ProcessPendingEvents() = 0;
};

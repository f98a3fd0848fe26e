#pragma once

#include "consolememo.h"

#include <functional>

class TMemo;

// Shows a console tool's lines in a memo of the window, below the memo's earlier text, and hands the tool's
// progress to whoever shows it.
class TMemoConsole : public IConsoleMemo
{
public:
    explicit TMemoConsole(TMemo* memo, std::function<void(int percent)> onProgress = {});

    void ShowLines(std::size_t first, std::span<const std::string> lines) override;
    void ShowProgress(int percent) override;
    void ProcessPendingEvents() override;

private:
    TMemo* FMemo;
    std::function<void(int)> FOnProgress;
    // The memo's line that takes the run's line 0.
    int FBase;
};

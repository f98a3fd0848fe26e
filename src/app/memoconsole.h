#pragma once

#include "consolememo.h"

#include <QTextBlock>

#include <functional>

class TMemo;

// Shows a console tool's lines in a memo of the window, below the memo's earlier text, and hands the tool's
// progress to whoever shows it. The run's lines keep their place when other lines are added or removed around them
// during the run, and the memo keeps its most recent MaxLines lines.
class TMemoConsole : public IConsoleMemo
{
public:
    static constexpr int MaxLines = 5000;

    explicit TMemoConsole(TMemo* memo, std::function<void(int percent)> onProgress = {});

    void ShowLines(std::size_t first, std::span<const std::string> lines) override;
    void ShowProgress(int percent) override;
    void ProcessPendingEvents() override;

private:
    QTextBlock LastRunBlock() const;
    QTextBlock RunBlock(const QTextBlock& last, std::size_t line) const;

    TMemo* FMemo;
    std::function<void(int)> FOnProgress;
    // Marks the memo's blocks that hold this run's lines.
    int FTag;
    // How many of the run's lines have been shown; the last of them is the memo's last marked block.
    std::size_t FShown = 0;
};

#pragma once

#include "consolememo.h"

#include <functional>
#include <string>
#include <vector>

// A memo that keeps its text in a string and records every call the runner makes.
class TRecordingMemo : public IConsoleMemo
{
public:
    explicit TRecordingMemo(std::string text = {}) : Text(std::move(text)) {}

    void AppendText(const std::string& text) override
    {
        Appended.push_back(text);
        Text += text;
        if (OnAppend) {
            OnAppend(Text);
        }
    }

    void ProcessPendingEvents() override
    {
        ++EventRounds;
        if (Appended.empty()) {
            ++EventRoundsBeforeOutput;
        }
    }

    std::string Text;
    std::vector<std::string> Appended;
    int EventRounds = 0;
    int EventRoundsBeforeOutput = 0;
    std::function<void(const std::string&)> OnAppend;
};

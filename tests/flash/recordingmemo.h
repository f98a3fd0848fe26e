#pragma once

#include "consolememo.h"

#include <functional>
#include <string>
#include <vector>

// A memo that keeps its lines in a list and records every call the runner makes.
class TRecordingMemo : public IConsoleMemo
{
public:
    explicit TRecordingMemo(std::vector<std::string> earlier = {}) : Lines(std::move(earlier)), FBase(Lines.size()) {}

    void ShowLines(std::size_t first, std::span<const std::string> lines) override
    {
        Lines.resize(FBase + first);
        Lines.insert(Lines.end(), lines.begin(), lines.end());
        ++Updates;
        if (OnUpdate) {
            OnUpdate(*this);
        }
    }

    void ShowProgress(int percent) override { Progress.push_back(percent); }

    void ProcessPendingEvents() override
    {
        ++EventRounds;
        if (Updates == 0) {
            ++EventRoundsBeforeOutput;
        }
    }

    std::vector<std::string> Lines;
    std::vector<int> Progress;
    int Updates = 0;
    int EventRounds = 0;
    int EventRoundsBeforeOutput = 0;
    std::function<void(const TRecordingMemo&)> OnUpdate;

private:
    std::size_t FBase;
};

#pragma once

#include <string>

// Turns pieces of a tool's output into memo text: lone CR and lone LF become CR LF, CR LF stays.
// It remembers whether the previous piece ended in CR, so a CR LF pair split between two pieces
// still counts as one line break.
class TMemoLineBreaks
{
public:
    std::string Convert(const std::string& piece);

private:
    bool FAfterCr = false;
};

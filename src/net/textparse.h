#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorlane::net {

// Byte-string helpers. Positions follow the system's text rules: a delimiter that does not occur leaves the whole
// text, both for the part before and the part after it.
std::string TextBefore(std::string_view text, std::string_view delimiter);
std::string TextAfter(std::string_view text, std::string_view delimiter);

// Removes every byte of code 32 or less at both ends (Trim) or at the end only (TrimRight).
std::string Trim(std::string_view text);
std::string TrimRight(std::string_view text);
// Removes only spaces at both ends.
std::string TrimSpaces(std::string_view text);

// Cuts the first field off text (text keeps the rest, or becomes empty when there is no delimiter).
std::string CutField(std::string& text, std::string_view delimiter);

struct TLineBreak
{
    int Position = -1;   // 0-based index of the first CR or LF, -1 when there is none
    std::string LineEnd; // "\r", "\n", "\r\n" or "\n\r"
};
TLineBreak FindLineBreak(std::string_view text);

// Joins continuation lines (starting with a space, TAB, '"', ':' or '=') to the header line at index, advancing
// index past what was used. The last entry of the list is never joined.
std::string UnfoldHeaderLine(const std::vector<std::string>& lines, int& index);

std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement);

} // namespace quorlane::net

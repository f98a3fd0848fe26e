#include "shellquote.h"

#include <algorithm>

namespace {

bool IsPlainWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
           c == '_' || c == '-';
}

} // namespace

std::string ShellQuote(const std::string& text)
{
    if (!text.empty() && std::all_of(text.begin(), text.end(), IsPlainWordChar)) {
        return text;
    }
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

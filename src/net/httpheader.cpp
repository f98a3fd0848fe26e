#include "httpheader.h"

#include <algorithm>
#include <cctype>

namespace quorlane::net {

namespace {

bool SameLetters(unsigned char a, unsigned char b)
{
    return std::tolower(a) == std::tolower(b);
}

} // namespace

std::optional<std::string> HeaderLineValue(std::string_view line, std::string_view name)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !std::ranges::equal(line.substr(0, colon), name, SameLetters)) {
        return std::nullopt;
    }
    std::string_view value = line.substr(colon + 1);
    const std::size_t first = value.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::string();
    }
    value = value.substr(first, value.find_last_not_of(" \t") - first + 1);
    return std::string(value);
}

std::optional<std::string> HeaderValue(const std::vector<std::string>& lines, std::string_view name)
{
    for (const std::string& line : lines) {
        if (std::optional<std::string> value = HeaderLineValue(line, name)) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace quorlane::net

#include "textparse.h"

#include <algorithm>

namespace quorlane::net {

namespace {

std::size_t FindDelimiter(std::string_view text, std::string_view delimiter)
{
    return delimiter.empty() ? std::string_view::npos : text.find(delimiter);
}

} // namespace

std::string TextBefore(std::string_view text, std::string_view delimiter)
{
    const std::size_t p = FindDelimiter(text, delimiter);
    return std::string(p == std::string_view::npos ? text : text.substr(0, p));
}

std::string TextAfter(std::string_view text, std::string_view delimiter)
{
    const std::size_t p = FindDelimiter(text, delimiter);
    return std::string(p == std::string_view::npos ? text : text.substr(p + delimiter.size()));
}

std::string Trim(std::string_view text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string TrimRight(std::string_view text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    return std::string(text.begin(), std::find_if_not(text.rbegin(), text.rend(), blank).base());
}

std::string TrimSpaces(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string CutField(std::string& text, std::string_view delimiter)
{
    std::string field = TextBefore(text, delimiter);
    std::string rest = TextAfter(text, delimiter);
    text = rest == text ? std::string() : TrimSpaces(rest);
    return TrimSpaces(field);
}

TLineBreak FindLineBreak(std::string_view text)
{
    TLineBreak found;
    const std::size_t p = text.find_first_of("\r\n");
    if (p == std::string_view::npos) {
        return found;
    }
    found.Position = static_cast<int>(p);
    found.LineEnd.assign(1, text[p]);
    if (p + 1 < text.size() && (text[p + 1] == '\r' || text[p + 1] == '\n') && text[p + 1] != text[p]) {
        found.LineEnd += text[p + 1];
    }
    return found;
}

std::string UnfoldHeaderLine(const std::vector<std::string>& lines, int& index)
{
    std::string line = lines.at(static_cast<std::size_t>(index));
    ++index;
    if (!line.empty()) {
        while (index < static_cast<int>(lines.size()) - 1) {
            std::string t = lines[static_cast<std::size_t>(index)];
            if (t.empty()) {
                break;
            }
            std::replace(t.begin(), t.end(), '\t', ' ');
            if (t[0] != ' ' && t[0] != '"' && t[0] != ':' && t[0] != '=') {
                break;
            }
            line += ' ' + Trim(t);
            ++index;
        }
    }
    return TrimRight(line);
}

std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement)
{
    if (text.empty() || search.empty()) {
        return std::string(text);
    }
    std::string result;
    std::size_t from = 0;
    for (std::size_t p = text.find(search); p != std::string_view::npos; p = text.find(search, from)) {
        result.append(text.substr(from, p - from)).append(replacement);
        from = p + search.size();
    }
    return result.append(text.substr(from));
}

} // namespace quorlane::net

#include "boardaddress.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t LongestHostName = 253;
constexpr std::size_t LongestLabel = 63;
constexpr int LargestPort = 65535;
// How much of a refused value the panel shows.
constexpr std::size_t ShownValueLength = 40;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool AllDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), IsDigit);
}

std::vector<std::string_view> Labels(std::string_view host)
{
    std::vector<std::string_view> labels;
    for (std::size_t start = 0;;) {
        const std::size_t dot = host.find('.', start);
        labels.push_back(host.substr(start, dot - start));
        if (dot == std::string_view::npos) {
            return labels;
        }
        start = dot + 1;
    }
}

// 0 to 255 without a leading zero, which some readers take for an octal number.
bool IsAddressByte(std::string_view part)
{
    if (part.empty() || part.size() > 3 || !AllDigits(part) || (part.size() > 1 && part[0] == '0')) {
        return false;
    }
    int value = 0;
    std::from_chars(part.data(), part.data() + part.size(), value);
    return value <= 255;
}

bool IsIpv4(const std::vector<std::string_view>& labels)
{
    return labels.size() == 4 && std::all_of(labels.begin(), labels.end(), IsAddressByte);
}

// A label that browsers read as a number, decimal or hexadecimal: a host ending in one is taken for an IPv4
// address.
bool IsNumber(std::string_view label)
{
    if (label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
        return std::all_of(label.begin() + 2, label.end(),
                           [](char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); });
    }
    return AllDigits(label);
}

bool IsLabel(std::string_view label)
{
    return !label.empty() && label.size() <= LongestLabel && label.front() != '-' && label.back() != '-' &&
           std::all_of(label.begin(), label.end(), [](char c) { return IsLetter(c) || IsDigit(c) || c == '-'; });
}

bool IsHostName(std::string_view host, const std::vector<std::string_view>& labels)
{
    return host.size() <= LongestHostName && std::all_of(labels.begin(), labels.end(), IsLabel) &&
           !IsNumber(labels.back());
}

std::optional<int> Port(std::string_view text)
{
    int port = 0;
    if (text.empty() || text.size() > 5 || !AllDigits(text)) {
        return std::nullopt;
    }
    std::from_chars(text.data(), text.data() + text.size(), port);
    if (port < 1 || port > LargestPort) {
        return std::nullopt;
    }
    return port;
}

} // namespace

std::optional<TBoardAddress> ParseBoardAddress(std::string_view text)
{
    const std::size_t colon = text.find(':');
    const std::string_view host = text.substr(0, colon);
    const std::vector<std::string_view> labels = Labels(host);
    if (!IsIpv4(labels) && !IsHostName(host, labels)) {
        return std::nullopt;
    }
    TBoardAddress address{std::string(host)};
    if (colon != std::string_view::npos) {
        const std::optional<int> port = Port(text.substr(colon + 1));
        if (!port) {
            return std::nullopt;
        }
        address.Port = *port;
    }
    return address;
}

std::string RefusedAddressText(std::string_view reported)
{
    std::string shown;
    for (const char c : reported) {
        if (shown.size() >= ShownValueLength) {
            shown += "...";
            break;
        }
        if (c == '"' || c == '\\') {
            shown += '\\';
            shown += c;
        } else if (c >= ' ' && c <= '~') {
            shown += c;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            shown += escape;
        }
    }
    return "The board reported an address that is not one: \"" + shown + "\"";
}

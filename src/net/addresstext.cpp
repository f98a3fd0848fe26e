#include "addresstext.h"

#include "textparse.h"

#include <algorithm>
#include <cstdio>

namespace quorlane::net {

namespace {

// Value of a non-empty field of the given digits that does not exceed limit; -1 otherwise.
long FieldValue(std::string_view field, int base, long limit)
{
    if (field.empty()) {
        return -1;
    }
    long value = 0;
    for (const char c : field) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return -1;
        }
        value = value * base + digit;
        if (value > limit) {
            return -1;
        }
    }
    return value;
}

bool IsHexGroup(std::string_view field)
{
    return FieldValue(field, 16, 0xFFFF) >= 0;
}

bool IsLastIPv6Field(std::string_view field)
{
    const std::size_t percent = field.find('%');
    if (percent != std::string_view::npos) {
        if (!IsHexGroup(field.substr(percent + 1))) {
            return false;
        }
        field = field.substr(0, percent);
    }
    return IsHexGroup(field);
}

} // namespace

bool IsIPv4Text(std::string_view text)
{
    std::string rest(text);
    for (int i = 0; i < 3; ++i) {
        if (FieldValue(CutField(rest, "."), 10, 255) < 0) {
            return false;
        }
    }
    return FieldValue(TrimSpaces(rest), 10, 255) >= 0;
}

bool IsIPv6Text(std::string_view text)
{
    if (text == "::") {
        return true;
    }
    std::string rest(text);
    int parts = 0;
    int zeros = 0;
    bool lastPassed = false;
    do {
        const std::string field = CutField(rest, ":");
        ++parts;
        if (parts > 8) {
            return false;
        }
        const bool last = rest.empty();
        if (field.empty()) {
            if (parts > 1 && ++zeros > 1) {
                return false;
            }
            lastPassed = false;
            continue;
        }
        lastPassed = last ? IsLastIPv6Field(field) : IsHexGroup(field);
        if (!lastPassed) {
            return false;
        }
    } while (!rest.empty());
    return lastPassed && parts > 1;
}

std::string HostPortText(std::string_view host, std::string_view port)
{
    const std::string name = IsIPv6Text(host) ? "[" + std::string(host) + "]" : std::string(host);
    return name + ":" + std::string(port);
}

std::string PackUInt16(std::uint16_t value)
{
    return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string PackUInt32(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16 & 0xFF), static_cast<char>(value >> 8 & 0xFF),
            static_cast<char>(value & 0xFF)};
}

std::uint16_t UnpackUInt16(std::string_view text, int p)
{
    if (p < 1 || static_cast<std::size_t>(p) + 1 > text.size()) {
        return 0;
    }
    const auto high = static_cast<unsigned char>(text[static_cast<std::size_t>(p) - 1]);
    const auto low = static_cast<unsigned char>(text[static_cast<std::size_t>(p)]);
    return static_cast<std::uint16_t>(high * 256 + low);
}

std::string IPv4ToBytes(std::string_view text)
{
    std::string rest(text);
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(std::max(FieldValue(CutField(rest, "."), 10, 0x7FFFFFFF), 0L) & 0xFF);
    }
    return bytes;
}

std::string ExpandIPv6(std::string_view text)
{
    const auto colons = std::count(text.begin(), text.end(), ':');
    if (colons > 7) {
        return {};
    }
    std::string expanded(text);
    if (!expanded.empty() && expanded.front() == ':') {
        expanded = "0" + expanded;
    }
    if (!expanded.empty() && expanded.back() == ':') {
        expanded += '0';
    }
    std::string groups;
    for (long i = 0; i < 8 - colons; ++i) {
        groups += ":0";
    }
    return ReplaceAll(expanded, "::", groups + ":");
}

std::array<std::uint8_t, 16> ParseIPv6(std::string_view text)
{
    std::array<std::uint8_t, 16> bytes{};
    std::string rest = ExpandIPv6(text);
    for (int i = 0; i < 8 && !rest.empty(); ++i) {
        const std::string field = CutField(rest, ":");
        const long group = field.empty() ? 0 : FieldValue(field, 16, 0xFFFF);
        if (group < 0) {
            return {};
        }
        bytes[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>(group >> 8);
        bytes[static_cast<std::size_t>(2 * i + 1)] = static_cast<std::uint8_t>(group & 0xFF);
    }
    return bytes;
}

std::string FormatIPv6(const std::array<std::uint8_t, 16>& bytes)
{
    int groups[8];
    for (int i = 0; i < 8; ++i) {
        groups[i] = bytes[static_cast<std::size_t>(2 * i)] << 8 | bytes[static_cast<std::size_t>(2 * i + 1)];
    }
    // The first longest run of two or more zero groups is shortened to "::".
    int runStart = -1;
    int runLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0) {
            ++j;
        }
        if (j - i > runLength) {
            runStart = i;
            runLength = j - i;
        }
        i = j > i ? j : i + 1;
    }
    std::string text;
    char hex[8];
    for (int i = 0; i < 8; ++i) {
        if (i == runStart) {
            text += "::";
            i += runLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':') {
            text += ':';
        }
        std::snprintf(hex, sizeof hex, "%x", groups[i]);
        text += hex;
    }
    return text;
}

} // namespace quorlane::net

#include "urltext.h"

#include "textparse.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quorlane::net {

namespace {

std::string Upper(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

// 1-based position of needle in text, 0 when absent.
std::size_t Pos(std::string_view needle, std::string_view text)
{
    const std::size_t p = text.find(needle);
    return p == std::string_view::npos ? 0 : p + 1;
}

bool NeedsPercent(unsigned char c)
{
    return c <= 0x20 || c >= 0x7F || std::strchr("\"%<>[\\]^_`{|}~#&+/:;=?@", c) != nullptr;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

TUrlParts SplitUrl(std::string_view url)
{
    TUrlParts parts;
    parts.Scheme = "http";
    parts.Port = "80";

    std::string rest(url);
    if (Pos("://", url) > 0) {
        parts.Scheme = TextBefore(url, "://");
        rest = TextAfter(url, "://");
    }
    const std::string scheme = Upper(parts.Scheme);
    if (scheme == "HTTPS") {
        parts.Port = "443";
    } else if (scheme == "FTP") {
        parts.Port = "21";
    }

    const std::size_t x = Pos("@", rest);
    const std::size_t y = Pos("/", rest);
    if (x > 0 && (x < y || y < 1)) {
        const std::string userPart = TextBefore(rest, "@");
        rest = TextAfter(rest, "@");
        if (Pos(":", userPart) > 0) {
            parts.User = TextBefore(userPart, ":");
            parts.Password = TextAfter(userPart, ":");
        } else {
            parts.User = userPart;
        }
    }

    std::string authority = rest;
    std::string tail;
    if (Pos("/", rest) > 0) {
        authority = TextBefore(rest, "/");
        tail = TextAfter(rest, "/");
    }

    if (!authority.empty() && authority[0] == '[') {
        parts.Host = TextBefore(authority, "]").substr(1);
        authority = TextAfter(authority, "]");
        if (!authority.empty() && authority[0] == ':') {
            parts.Port = authority.substr(1);
        }
    } else if (Pos(":", authority) > 0) {
        parts.Host = TextBefore(authority, ":");
        parts.Port = TextAfter(authority, ":");
    } else {
        parts.Host = authority;
    }

    parts.Target = "/" + tail;
    if (Pos("?", tail) > 0) {
        parts.Path = "/" + TextBefore(tail, "?");
        parts.Parameters = TextAfter(tail, "?");
    } else {
        parts.Path = "/" + tail;
    }
    if (parts.Host.empty()) {
        parts.Host = "localhost";
    }
    return parts;
}

std::string PercentEncode(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (NeedsPercent(c)) {
            result += '%';
            result += digits[c >> 4];
            result += digits[c & 15];
        } else {
            result += ch;
        }
    }
    return result;
}

std::string PercentDecode(std::string_view text)
{
    std::string result;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            result += text[i++];
            continue;
        }
        if (text.size() - i < 3) {
            break;
        }
        const char next = text[i + 1];
        if (next == '\r' || next == '\n') {
            // A soft line break: "%" at the end of a line joins it to the next.
            const char pair = next == '\r' ? '\n' : '\r';
            i += 2;
            if (i < text.size() && text[i] == pair) {
                ++i;
            }
        } else if (HexValue(next) >= 0 && HexValue(text[i + 2]) >= 0) {
            result += static_cast<char>(HexValue(next) * 16 + HexValue(text[i + 2]));
            i += 3;
        } else {
            result += '%';
            ++i;
        }
    }
    return result;
}

std::string Base64Encode(std::string_view bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string result;
    result.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        result += alphabet[v >> 18 & 63];
        result += alphabet[v >> 12 & 63];
        result += alphabet[v >> 6 & 63];
        result += alphabet[v & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        result += alphabet[v >> 18 & 63];
        result += alphabet[v >> 12 & 63];
        result += left == 2 ? alphabet[v >> 6 & 63] : '=';
        result += '=';
    }
    return result;
}

} // namespace quorlane::net

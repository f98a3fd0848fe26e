#include "stringcontent.h"

#include "jsonerrors.h"

#include <algorithm>

namespace quorlane::json {

namespace {

bool IsContinuation(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0xBF;
}

// Writes one UTF-16 code unit from a \u escape as UTF-8; each half of a surrogate pair gets its own sequence.
void AppendCodeUnit(std::string& bytes, unsigned code)
{
    if (code < 0x80) {
        bytes += static_cast<char>(code);
    } else if (code < 0x800) {
        bytes += static_cast<char>(0xC0 | (code >> 6));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        bytes += static_cast<char>(0xE0 | (code >> 12));
        bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character of a well-formed four-byte sequence at bytes[i] (U+10000 to U+10FFFF), or 0 when there is none.
// Such characters (emoji in a network name, say) become a surrogate pair instead of emptying the string.
char32_t FourByteCode(std::string_view bytes, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0xF0 || lead > 0xF4 || bytes.size() - i < 4) {
        return 0;
    }
    char32_t code = lead & 0x07;
    for (std::size_t k = 1; k < 4; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if (!IsContinuation(next)) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    return code >= 0x10000 && code <= 0x10FFFF ? code : 0;
}

int HexDigit(char c)
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
    throw EConvertError("invalid hexadecimal digit in a \\u escape");
}

} // namespace

std::string UnescapeString(std::string_view raw)
{
    std::string bytes;
    bytes.reserve(raw.size());
    std::size_t i = 0;
    while (i < raw.size()) {
        const char c = raw[i++];
        if (c != '\\' || i == raw.size()) {
            bytes += c;
            continue;
        }
        const char escaped = raw[i++];
        switch (escaped) {
        case '"':
        case '\'':
        case '/':
        case '\\':
            bytes += escaped;
            break;
        case 'b':
            bytes += '\b';
            break;
        case 'f':
            bytes += '\f';
            break;
        case 'n':
            bytes += '\n';
            break;
        case 'r':
            bytes += '\r';
            break;
        case 't':
            bytes += '\t';
            break;
        case 'u': {
            const std::size_t count = std::min<std::size_t>(4, raw.size() - i);
            if (count == 0) {
                throw EConvertError("\\u escape without digits");
            }
            unsigned code = 0;
            for (std::size_t k = 0; k < count; ++k) {
                code = code * 16 + static_cast<unsigned>(HexDigit(raw[i++]));
            }
            AppendCodeUnit(bytes, code);
            break;
        }
        default:
            break;
        }
    }
    return bytes;
}

std::u16string DecodeUtf8Content(std::string_view bytes)
{
    std::u16string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        if (const char32_t code = FourByteCode(bytes, i); code != 0) {
            text += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            i += 4;
            continue;
        }
        const std::size_t length = (lead & 0x20) ? 3 : 2;
        if (bytes.size() - i < length) {
            return {};
        }
        unsigned code = lead & (length == 3 ? 0x0F : 0x1F);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if (!IsContinuation(next)) {
                return {};
            }
            code = (code << 6) | (next & 0x3F);
        }
        text += static_cast<char16_t>(code);
        i += length;
    }
    return text;
}

} // namespace quorlane::json

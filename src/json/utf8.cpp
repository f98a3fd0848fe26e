#include "utf8.h"

namespace quorlane::json {

namespace {

constexpr char32_t Replacement = 0xFFFD;

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// What a lead byte starts: the sequence length (0 for a byte that cannot lead), its payload bits and the
// smallest code that the length may carry (anything below is an overlong form).
struct TLead
{
    int Length;
    unsigned Bits;
    char32_t Minimum;
};

TLead LeadForm(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2, 0x1F, 0x80};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return {3, 0x0F, 0x800};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return {4, 0x07, 0x10000};
    }
    return {0, 0, 0};
}

// Decodes one well-formed sequence at text[i], advancing i; ill-formed input gives U+FFFD and advances past the
// longest prefix that could have started a valid sequence.
char32_t DecodeOne(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    const TLead form = LeadForm(lead);
    if (form.Length == 0) {
        return Replacement;
    }
    char32_t code = lead & form.Bits;
    for (int k = 1; k < form.Length; ++k) {
        if (i >= text.size() || !IsContinuation(static_cast<unsigned char>(text[i]))) {
            return Replacement;
        }
        code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    if (code < form.Minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return Replacement;
    }
    return code;
}

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t code = DecodeOne(text, i);
        if (code >= 0x10000) {
            result += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            result += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            result += static_cast<char16_t>(code);
        }
    }
    return result;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(result, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(result, Replacement);
        } else {
            AppendUtf8(result, unit);
        }
    }
    return result;
}

} // namespace quorlane::json

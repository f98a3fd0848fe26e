#include "json.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <stdexcept>

namespace quorlane::json {

namespace {

// A number out of the extended type's range or an invalid \u escape: the whole parse gives none.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsContinuation(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0xBF;
}

// Powers of ten that the extended type holds exactly (5^27 < 2^64).
constexpr int ExactPowers = 27;

constexpr std::array<long double, ExactPowers + 1> PowersOfTen()
{
    std::array<long double, ExactPowers + 1> powers{};
    long double power = 1;
    for (auto& entry : powers) {
        entry = power;
        power *= 10;
    }
    return powers;
}

constexpr auto Pow10 = PowersOfTen();

// The conversion with the C locale, so that the decimal separator is "." whatever the process locale says.
long double ConvertWithCLocale(std::string_view token)
{
    static const locale_t CLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string text(token);
    errno = 0;
    const long double value = strtold_l(text.c_str(), nullptr, CLocale);
    if (errno == ERANGE && std::isinf(value)) {
        throw EConvertError("number out of range");
    }
    return value;
}

// Converts a token that has the JSON number syntax (optional sign, digits, optional fraction and exponent). When
// the significant digits fit in 64 bits and the power of ten is exact, one multiplication or division of two
// exact values is correctly rounded; everything else goes to the library conversion.
long double ConvertNumber(std::string_view token)
{
    std::size_t i = 0;
    const bool negative = token[0] == '-';
    if (token[0] == '-' || token[0] == '+') {
        ++i;
    }
    std::uint64_t mantissa = 0;
    int digits = 0;
    int exponent = 0;
    bool fraction = false;
    for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
        if (token[i] == '.') {
            fraction = true;
            continue;
        }
        if (mantissa != 0 || token[i] != '0') {
            if (++digits > 19) {
                return ConvertWithCLocale(token);
            }
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(token[i] - '0');
        }
        exponent -= fraction ? 1 : 0;
    }
    if (i < token.size()) {
        ++i;
        const bool negativeExponent = token[i] == '-';
        if (token[i] == '-' || token[i] == '+') {
            ++i;
        }
        int written = 0;
        for (; i < token.size(); ++i) {
            written = written * 10 + (token[i] - '0');
            if (written > ExactPowers * 2) {
                return ConvertWithCLocale(token);
            }
        }
        exponent += negativeExponent ? -written : written;
    }
    long double value = 0;
    if (mantissa != 0) {
        if (exponent < -ExactPowers || exponent > ExactPowers) {
            return ConvertWithCLocale(token);
        }
        value = static_cast<long double>(mantissa);
        value = exponent < 0 ? value / Pow10[static_cast<std::size_t>(-exponent)]
                             : value * Pow10[static_cast<std::size_t>(exponent)];
    }
    return negative ? -value : value;
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

int HexDigit(char c)
{
    if (IsDigit(c)) {
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

// Decodes up to three-byte UTF-8 sequences into UTF-16 code units. Sequences are not checked for overlong forms
// or surrogates, and a four-byte lead counts as a three-byte one. A missing or wrong continuation byte empties
// the whole text.
std::u16string DecodeUtf8(std::string_view bytes)
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

class TParser
{
public:
    explicit TParser(std::string_view text) : FPos(text.data()), FEnd(text.data() + text.size()) {}

    // Every step either succeeds and moves past what it read, or fails and leaves the position where it was.
    std::unique_ptr<TJSONbase> ParseValue();

private:
    void SkipBlanks();
    bool Next(char c) const { return FPos < FEnd && *FPos == c; }
    bool StartsWith(std::string_view word) const;
    std::unique_ptr<TJSONbase> ParseLiteral();
    std::unique_ptr<TJSONbase> ParseNumber();
    bool ParseString(std::u16string& text);
    std::unique_ptr<TJSONbase> ParseArray();
    std::unique_ptr<TJSONbase> ParseObject();
    bool ParseMember();
    bool SkipDigits();
    const char* FindByte(const char* start, char c, const char* limit = nullptr) const;

    const char* FPos;
    const char* const FEnd;
    int FDepth = 0;
    // Items and member names of the open containers, innermost last. A container moves its own into itself when
    // it closes, so its item list is allocated once at its final size.
    std::vector<std::unique_ptr<TJSONbase>> FValues;
    std::vector<std::u16string> FNames;
};

void TParser::SkipBlanks()
{
    while (FPos < FEnd && static_cast<unsigned char>(*FPos) < 0x21) {
        ++FPos;
    }
}

bool TParser::StartsWith(std::string_view word) const
{
    return static_cast<std::size_t>(FEnd - FPos) >= word.size() && std::string_view(FPos, word.size()) == word;
}

std::unique_ptr<TJSONbase> TParser::ParseValue()
{
    const char* start = FPos;
    SkipBlanks();
    std::unique_ptr<TJSONbase> value;
    if (FPos < FEnd) {
        switch (*FPos) {
        case 't':
        case 'f':
        case 'n':
            value = ParseLiteral();
            break;
        case '"': {
            std::u16string text;
            if (ParseString(text)) {
                value = TJSONstring::CreateFromText(std::move(text));
            }
            break;
        }
        case '[':
            value = ParseArray();
            break;
        case '{':
            value = ParseObject();
            break;
        default:
            value = ParseNumber();
            break;
        }
    }
    if (!value) {
        FPos = start;
    }
    return value;
}

// The word alone decides; whatever follows it is left to the caller, so trueX gives true.
std::unique_ptr<TJSONbase> TParser::ParseLiteral()
{
    if (StartsWith("true") || StartsWith("false")) {
        auto flag = std::make_unique<TJSONboolean>();
        flag->Flag = *FPos == 't';
        FPos += flag->Flag ? 4 : 5;
        return flag;
    }
    if (StartsWith("null")) {
        FPos += 4;
        return std::make_unique<TJSONnull>();
    }
    return nullptr;
}

bool TParser::SkipDigits()
{
    const char* start = FPos;
    while (FPos < FEnd && IsDigit(*FPos)) {
        ++FPos;
    }
    return FPos != start;
}

std::unique_ptr<TJSONbase> TParser::ParseNumber()
{
    const char* start = FPos;
    if (Next('+') || Next('-')) {
        ++FPos;
    }
    bool valid = SkipDigits();
    if (valid && Next('.')) {
        ++FPos;
        valid = SkipDigits();
    }
    if (valid && (Next('e') || Next('E'))) {
        ++FPos;
        if (Next('+') || Next('-')) {
            ++FPos;
        }
        valid = SkipDigits();
    }
    if (!valid) {
        FPos = start;
        return nullptr;
    }
    auto number = std::make_unique<TJSONnumber>();
    number->Number = ConvertNumber(std::string_view(start, static_cast<std::size_t>(FPos - start)));
    return number;
}

// The closing quote is the first one not escaped by a backslash; the byte after each backslash is skipped.
// Content without backslashes is found with two library searches and, when it is ASCII, widened directly.
bool TParser::ParseString(std::u16string& text)
{
    if (!Next('"')) {
        return false;
    }
    const char* content = FPos + 1;
    const char* quote = FindByte(content, '"');
    if (!quote) {
        return false;
    }
    const char* p = FindByte(content, '\\', quote);
    if (!p) {
        const std::string_view raw(content, static_cast<std::size_t>(quote - content));
        if (std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            text.assign(raw.begin(), raw.end());
        } else {
            text = DecodeUtf8(raw);
        }
        FPos = quote + 1;
        return true;
    }
    while (p != FEnd && *p != '"') {
        if (*p == '\\') {
            if (FEnd - p <= 2) {
                return false;
            }
            p += 2;
        } else {
            ++p;
        }
    }
    if (p == FEnd) {
        return false;
    }
    text = DecodeUtf8(UnescapeString(std::string_view(content, static_cast<std::size_t>(p - content))));
    FPos = p + 1;
    return true;
}

// The first c from start up to limit (the end of the text by default), or null.
const char* TParser::FindByte(const char* start, char c, const char* limit) const
{
    if (!limit) {
        limit = FEnd;
    }
    return static_cast<const char*>(std::memchr(start, c, static_cast<std::size_t>(limit - start)));
}

std::unique_ptr<TJSONbase> TParser::ParseArray()
{
    if (FDepth == TJSON::MaxNesting) {
        return nullptr;
    }
    ++FDepth;
    ++FPos;
    const std::size_t first = FValues.size();
    while (auto item = ParseValue()) {
        FValues.push_back(std::move(item));
        SkipBlanks();
        if (Next(',')) {
            ++FPos;
        }
    }
    --FDepth;
    SkipBlanks();
    if (!Next(']')) {
        FValues.resize(first);
        return nullptr;
    }
    ++FPos;
    auto list = std::make_unique<TJSONlist>();
    list->Reserve(static_cast<int>(FValues.size() - first));
    for (std::size_t i = first; i < FValues.size(); ++i) {
        list->AddItem(std::move(FValues[i]));
    }
    FValues.resize(first);
    return list;
}

std::unique_ptr<TJSONbase> TParser::ParseObject()
{
    if (FDepth == TJSON::MaxNesting) {
        return nullptr;
    }
    ++FDepth;
    ++FPos;
    const std::size_t first = FValues.size();
    const std::size_t firstName = FNames.size();
    while (ParseMember()) {
        SkipBlanks();
        if (Next(',')) {
            ++FPos;
        }
    }
    --FDepth;
    SkipBlanks();
    if (!Next('}')) {
        FValues.resize(first);
        FNames.resize(firstName);
        return nullptr;
    }
    ++FPos;
    auto object = std::make_unique<TJSONobject>(true);
    const auto count = static_cast<int>(FValues.size() - first);
    object->Reserve(count);
    object->NameIndex.Reserve(count);
    for (std::size_t i = 0; first + i < FValues.size(); ++i) {
        object->AddMember(std::move(FNames[firstName + i]), std::move(FValues[first + i]));
    }
    FValues.resize(first);
    FNames.resize(firstName);
    return object;
}

// A member's name and value go onto the scratch stacks; the object takes them when it closes.
bool TParser::ParseMember()
{
    const char* start = FPos;
    SkipBlanks();
    std::u16string name;
    if (ParseString(name)) {
        SkipBlanks();
        if (Next(':')) {
            ++FPos;
            if (auto value = ParseValue()) {
                FNames.push_back(std::move(name));
                FValues.push_back(std::move(value));
                return true;
            }
        }
    }
    FPos = start;
    return false;
}

} // namespace

std::unique_ptr<TJSONbase> TJSON::ParseJSONText(std::string_view text)
{
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(ByteOrderMark)) {
        text.remove_prefix(ByteOrderMark.size());
    }
    if (text.empty()) {
        return nullptr;
    }
    try {
        return TParser(text).ParseValue();
    } catch (const std::exception&) {
        // Conversion errors and lack of memory; the partial tree is already freed by unwinding.
        return nullptr;
    }
}

} // namespace quorlane::json

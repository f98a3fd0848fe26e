#include "json.h"
#include "numberparse.h"
#include "stringcontent.h"

#include <algorithm>
#include <cstring>

namespace quorlane::json {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
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
    number->Number = ConvertNumberText(std::string_view(start, static_cast<std::size_t>(FPos - start)));
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
            text = DecodeUtf8Content(raw);
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
    text = DecodeUtf8Content(UnescapeString(std::string_view(content, static_cast<std::size_t>(p - content))));
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

#include "json.h"
#include "numberformat.h"
#include "outputbuffer.h"

#include <algorithm>
#include <array>

namespace quorlane::json {

namespace {

// What each ASCII byte becomes inside a string: 0 unchanged, a letter for a two-byte escape, 'u' for \u00XX.
constexpr std::array<char, 128> EscapeTable()
{
    std::array<char, 128> table{};
    for (int c = 0; c < 0x20; ++c) {
        table[static_cast<std::size_t>(c)] = 'u';
    }
    table['\b'] = 'b';
    table['\t'] = 't';
    table['\n'] = 'n';
    table['\f'] = 'f';
    table['\r'] = 'r';
    table['"'] = '"';
    table['/'] = '/';
    table['\\'] = '\\';
    return table;
}

constexpr auto Escapes = EscapeTable();

class TGenerator
{
public:
    // Containers are walked with an explicit stack of open containers, never by recursion.
    void WriteTree(const TJSONbase* root);
    std::string Text() const { return FOut.Text(); }

private:
    struct TOpenContainer
    {
        const TJSONcustomlist* Container;
        int Next;
        char Close;
    };

    void WriteValue(const TJSONbase* value);
    void WriteString(std::u16string_view text);
    static bool IsSurrogatePair(std::u16string_view text, std::size_t i);
    static char* WriteSupplementary(char* out, char16_t high, char16_t low);
    static char* WriteCodeUnit(char* out, char16_t unit);

    // Strings are written in pieces of this many code units, each with room for its longest form.
    static constexpr std::size_t PieceUnits = 4096;
    static constexpr std::size_t MaxBytesPerUnit = 6;

    TOutputBuffer FOut;
    std::vector<TOpenContainer> FOpen;
    std::string FNumber;
};

void TGenerator::WriteTree(const TJSONbase* root)
{
    WriteValue(root);
    while (!FOpen.empty()) {
        TOpenContainer& top = FOpen.back();
        if (top.Next == top.Container->ItemCount()) {
            FOut.Put(top.Close);
            FOpen.pop_back();
            continue;
        }
        if (top.Next > 0) {
            FOut.Put(',');
        }
        const TJSONbase* item = top.Container->Item(top.Next++);
        WriteValue(item);
    }
}

// Writes a scalar completely; for a container writes its opening bracket and leaves the items to WriteTree.
void TGenerator::WriteValue(const TJSONbase* value)
{
    while (value) {
        switch (value->Kind()) {
        case jsNumber:
            FNumber.clear();
            AppendGeneralNumber(FNumber, static_cast<const TJSONnumber*>(value)->Number, ".");
            FOut.Put(FNumber);
            return;
        case jsString:
            WriteString(static_cast<const TJSONstring*>(value)->Text);
            return;
        case jsBoolean:
            FOut.Put(static_cast<const TJSONboolean*>(value)->Flag ? "true" : "false");
            return;
        case jsNull:
            FOut.Put("null");
            return;
        case jsList:
            FOut.Put('[');
            FOpen.push_back({static_cast<const TJSONcustomlist*>(value), 0, ']'});
            return;
        case jsObject:
            FOut.Put('{');
            FOpen.push_back({static_cast<const TJSONcustomlist*>(value), 0, '}'});
            return;
        case jsBase:
            break;
        }
        const auto* member = dynamic_cast<const TJSONobjectmethod*>(value);
        if (!member) {
            return;
        }
        WriteString(member->MemberName);
        FOut.Put(':');
        value = member->MemberValue.get();
    }
}

void TGenerator::WriteString(std::u16string_view text)
{
    FOut.Put('"');
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.size(), start + PieceUnits);
        char* out = FOut.Room((end - start + 1) * MaxBytesPerUnit);
        while (start < end) {
            if (IsSurrogatePair(text, start)) {
                out = WriteSupplementary(out, text[start], text[start + 1]);
                start += 2;
            } else {
                out = WriteCodeUnit(out, text[start++]);
            }
        }
        FOut.Commit(out);
    }
    FOut.Put('"');
}

bool TGenerator::IsSurrogatePair(std::u16string_view text, std::size_t i)
{
    return text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
           text[i + 1] <= 0xDFFF;
}

// A surrogate pair as one four-byte UTF-8 sequence: the board and every other UTF-8 reader expect that, not two
// three-byte halves.
char* TGenerator::WriteSupplementary(char* out, char16_t high, char16_t low)
{
    const char32_t code = 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
    *out++ = static_cast<char>(0xF0 | (code >> 18));
    *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
    return out;
}

// One UTF-16 code unit as UTF-8 (an unpaired surrogate half as its own three-byte sequence). Only ASCII bytes are ever
// escaped, so other characters travel raw.
char* TGenerator::WriteCodeUnit(char* out, char16_t unit)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    if (unit >= 0x800) {
        *out++ = static_cast<char>(0xE0 | (unit >> 12));
        *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit >= 0x80) {
        *out++ = static_cast<char>(0xC0 | (unit >> 6));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (const char kind = Escapes[unit]; kind == 0) {
        *out++ = static_cast<char>(unit);
    } else {
        *out++ = '\\';
        *out++ = kind;
        if (kind == 'u') {
            *out++ = '0';
            *out++ = '0';
            *out++ = Hex[unit >> 4];
            *out++ = Hex[unit & 0xF];
        }
    }
    return out;
}

} // namespace

std::string TJSON::GenerateJSONText(const TJSONbase* value)
{
    TGenerator generator;
    generator.WriteTree(value);
    return generator.Text();
}

} // namespace quorlane::json

#include "json.h"
#include "numberformat.h"

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
    explicit TGenerator(std::string& out) : FOut(out) {}

    // Containers are walked with an explicit stack of open containers, never by recursion.
    void WriteTree(const TJSONbase* root);

private:
    struct TOpenContainer
    {
        const TJSONcustomlist* Container;
        int Next;
        char Close;
    };

    void WriteValue(const TJSONbase* value);
    void WriteString(std::u16string_view text);
    void WriteEscapedAscii(char c);

    std::string& FOut;
    std::vector<TOpenContainer> FOpen;
};

void TGenerator::WriteTree(const TJSONbase* root)
{
    WriteValue(root);
    while (!FOpen.empty()) {
        TOpenContainer& top = FOpen.back();
        if (top.Next == top.Container->ItemCount()) {
            FOut += top.Close;
            FOpen.pop_back();
            continue;
        }
        if (top.Next > 0) {
            FOut += ',';
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
            AppendGeneralNumber(FOut, static_cast<const TJSONnumber*>(value)->Number, ".");
            return;
        case jsString:
            WriteString(static_cast<const TJSONstring*>(value)->Text);
            return;
        case jsBoolean:
            FOut += static_cast<const TJSONboolean*>(value)->Flag ? "true" : "false";
            return;
        case jsNull:
            FOut += "null";
            return;
        case jsList:
            FOut += '[';
            FOpen.push_back({static_cast<const TJSONcustomlist*>(value), 0, ']'});
            return;
        case jsObject:
            FOut += '{';
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
        FOut += ':';
        value = member->MemberValue.get();
    }
}

// UTF-16 code units go out one by one as UTF-8 (a surrogate half as its own three-byte sequence); only ASCII
// bytes are ever escaped, so other characters travel raw.
void TGenerator::WriteString(std::u16string_view text)
{
    FOut += '"';
    for (const char16_t unit : text) {
        if (unit < 0x80) {
            const char c = static_cast<char>(unit);
            if (Escapes[unit] == 0) {
                FOut += c;
            } else {
                WriteEscapedAscii(c);
            }
        } else if (unit < 0x800) {
            FOut += static_cast<char>(0xC0 | (unit >> 6));
            FOut += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            FOut += static_cast<char>(0xE0 | (unit >> 12));
            FOut += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            FOut += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    FOut += '"';
}

void TGenerator::WriteEscapedAscii(char c)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    const char kind = Escapes[static_cast<std::size_t>(c)];
    FOut += '\\';
    if (kind != 'u') {
        FOut += kind;
        return;
    }
    FOut += "u00";
    FOut += Hex[(c >> 4) & 0xF];
    FOut += Hex[c & 0xF];
}

} // namespace

std::string TJSON::GenerateJSONText(const TJSONbase* value)
{
    // The buffer starts at 50000 bytes and grows geometrically, so long outputs cost linear time.
    std::string out;
    out.reserve(50000);
    TGenerator(out).WriteTree(value);
    return out;
}

} // namespace quorlane::json

#include "json.h"
#include "numberformat.h"

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
    static std::size_t PlainRunEnd(std::u16string_view text, std::size_t start, std::size_t limit);

    // Plain ASCII is narrowed through a chunk on the stack and appended in one piece.
    static constexpr std::size_t ChunkSize = 256;

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
// bytes are ever escaped, so other characters travel raw. Runs of ASCII that need no escape are copied in pieces.
void TGenerator::WriteString(std::u16string_view text)
{
    FOut += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t runEnd = PlainRunEnd(text, i, ChunkSize);
        if (runEnd > i) {
            char chunk[ChunkSize];
            std::transform(text.begin() + static_cast<std::ptrdiff_t>(i),
                           text.begin() + static_cast<std::ptrdiff_t>(runEnd), chunk,
                           [](char16_t unit) { return static_cast<char>(unit); });
            FOut.append(chunk, runEnd - i);
            i = runEnd;
            continue;
        }
        const char16_t unit = text[i++];
        if (unit < 0x80) {
            WriteEscapedAscii(static_cast<char>(unit));
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

// The end of the run of ASCII code units from start on that are written unchanged, at most limit long.
std::size_t TGenerator::PlainRunEnd(std::u16string_view text, std::size_t start, std::size_t limit)
{
    const std::size_t end = std::min(text.size(), start + limit);
    while (start < end && text[start] < 0x80 && Escapes[text[start]] == 0) {
        ++start;
    }
    return start;
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

#include "passwordmask.h"

#include "boardconsole.h"
#include "boardmessage.h"
#include "jsonerrors.h"
#include "stringcontent.h"

#include <algorithm>

using namespace quorlane::json;

namespace {

constexpr std::string_view Mask = "********";
constexpr TAccessField PasswordFields[] = {TAccessField::Pass, TAccessField::BoardPass, TAccessField::InitPass};

// The parser skips every byte below '!' between tokens.
bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) < 0x21;
}

// Ends a value that is no string (a number or a word): a blank or a byte of JSON's structure.
bool EndsScalar(char c)
{
    return IsBlank(c) || std::string_view(",:[]{}\"").find(c) != std::string_view::npos;
}

} // namespace

std::string TPasswordMask::Piece(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size() + Mask.size());
    if (FState == InValue || FState == InScalar) {
        shown += Mask;
    }
    std::size_t at = 0;
    while (at < text.size()) {
        at = CopyPlain(text, at, shown);
        if (at < text.size()) {
            Step(text[at++], shown);
        }
    }
    return shown;
}

// The stretch from `at` in which no byte can change what is masked, shown as it is in one step; returns where it
// ends. Between tokens with nothing expected that is the text up to the next string, inside a string the text up
// to its next quote or backslash.
std::size_t TPasswordMask::CopyPlain(std::string_view text, std::size_t at, std::string& shown)
{
    std::size_t end = at;
    if (FState == Between && FExpect == Nothing) {
        end = std::min(text.find('"', at), text.size());
    } else if (FState == InString && !FEscaped) {
        end = std::min(text.find_first_of("\"\\", at), text.size());
        KeepName(text.substr(at, end - at));
    }
    shown.append(text.substr(at, end - at));
    return end;
}

void TPasswordMask::EndLine()
{
    FState = Between;
    FExpect = Nothing;
    FEscaped = false;
    FName.clear();
    FNameTooLong = false;
}

void TPasswordMask::Step(char c, std::string& shown)
{
    switch (FState) {
    case InString:
        StepInString(c, shown);
        return;
    case InValue:
        StepInValue(c, shown);
        return;
    case InScalar:
        if (!EndsScalar(c)) {
            return;
        }
        FState = Between;
        FExpect = Nothing;
        break;
    case Between:
        break;
    }
    StepBetween(c, shown);
}

void TPasswordMask::StepBetween(char c, std::string& shown)
{
    if (IsBlank(c)) {
        shown += c;
        return;
    }
    if (FExpect == Value && !EndsScalar(c) && c != '[' && c != '{') {
        shown += Mask;
        FState = InScalar;
        return;
    }
    shown += c;
    if (c == '"') {
        FState = FExpect == Value ? InValue : InString;
        if (FState == InValue) {
            shown += Mask;
        }
        FExpect = Nothing;
        FEscaped = false;
        FName.clear();
        FNameTooLong = false;
        return;
    }
    FExpect = c == ':' && FExpect == Colon && NameIsPassword() ? Value : Nothing;
}

// The closing quote is the first one not escaped by a backslash, as the parser reads it.
void TPasswordMask::StepInString(char c, std::string& shown)
{
    shown += c;
    if (!FEscaped && c == '"') {
        FState = Between;
        FExpect = Colon;
        return;
    }
    FEscaped = !FEscaped && c == '\\';
    KeepName(std::string_view(&c, 1));
}

// No message longer than a console line reaches the parser, so a longer name is never read as one.
void TPasswordMask::KeepName(std::string_view raw)
{
    if (FName.size() + raw.size() <= TBoardConsole::MaxLineLength) {
        FName += raw;
    } else {
        FNameTooLong = true;
    }
}

void TPasswordMask::StepInValue(char c, std::string& shown)
{
    if (!FEscaped && c == '"') {
        shown += c;
        FState = Between;
        return;
    }
    FEscaped = !FEscaped && c == '\\';
}

// The name as the parser decodes it: escapes replaced, then UTF-8 read into UTF-16 code units. A name of plain
// ASCII decodes to itself.
bool TPasswordMask::NameIsPassword() const
{
    if (FNameTooLong) {
        return false;
    }
    const bool plain = std::all_of(FName.begin(), FName.end(), [](char c) { return c != '\\' && c > 0; });
    std::u16string decoded;
    if (!plain) {
        try {
            decoded = DecodeUtf8Content(UnescapeString(FName));
        } catch (const EConvertError&) {
            return false;
        }
    }
    return std::any_of(std::begin(PasswordFields), std::end(PasswordFields), [&](TAccessField field) {
        const std::string_view member = AccessFieldMember(field);
        return plain ? FName == member : std::equal(decoded.begin(), decoded.end(), member.begin(), member.end());
    });
}

std::string MaskPasswords(std::string_view line)
{
    return TPasswordMask().Piece(line);
}

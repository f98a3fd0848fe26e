#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Console text as it may be shown on screen: the values of the password members of the board's JSON (INIT
// messages and the settings line, should the board echo it) are replaced by asterisks. A member counts by its name
// as the JSON parser reads it, escapes included, so "p\u0061ss" is "pass". Everything else, also the length of the
// text's other parts, stays as received; the bytes exchanged with the board are never changed.
//
// One pass over the text: each byte is looked at once and a string's escapes are decoded once, when a colon shows
// it to be a member's name, so the time grows with the text's length only. A line may come in pieces (the console
// cuts long lines): a value that runs on into the next piece stays hidden there.
class TPasswordMask
{
public:
    // The shown copy of the next piece of the current line.
    std::string Piece(std::string_view text);
    // The line has ended: the next piece starts a new one.
    void EndLine();

private:
    // Between tokens, inside a string, inside a password's string value, inside a password's other value.
    enum EState { Between, InString, InValue, InScalar };
    // What the text read so far makes of the next token: nothing, a colon after a string that may be a name, or
    // the value of a password member.
    enum EExpect { Nothing, Colon, Value };

    std::size_t CopyPlain(std::string_view text, std::size_t at, std::string& shown);
    void Step(char c, std::string& shown);
    void StepBetween(char c, std::string& shown);
    void StepInString(char c, std::string& shown);
    void StepInValue(char c, std::string& shown);
    void KeepName(std::string_view raw);
    bool NameIsPassword() const;

    EState FState = Between;
    EExpect FExpect = Nothing;
    bool FEscaped = false;
    // The raw text of the last string, while it may still turn out to be a member's name.
    std::string FName;
    bool FNameTooLong = false;
};

// The shown copy of one whole line.
std::string MaskPasswords(std::string_view line);

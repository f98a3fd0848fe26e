#include "passwordmask.h"

#include "boardmessage.h"

namespace {

constexpr std::string_view Mask = "********";
constexpr TAccessField PasswordFields[] = {TAccessField::Pass, TAccessField::BoardPass, TAccessField::InitPass};

std::size_t SkipSpaces(std::string_view text, std::size_t at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    return at;
}

// Where the JSON string whose opening quote stands before position start ends (its closing quote), or the end
// of the text when it is not closed.
std::size_t StringEnd(std::string_view text, std::size_t start)
{
    for (std::size_t at = start; at < text.size(); ++at) {
        if (text[at] == '\\') {
            ++at;
        } else if (text[at] == '"') {
            return at;
        }
    }
    return text.size();
}

// Masks the string values of every "name": "value" pair in line.
void MaskMember(std::string& line, std::string_view name)
{
    const std::string key = "\"" + std::string(name) + "\"";
    for (std::size_t found = line.find(key); found != std::string::npos; found = line.find(key, found + 1)) {
        std::size_t at = SkipSpaces(line, found + key.size());
        if (at >= line.size() || line[at] != ':') {
            continue;
        }
        at = SkipSpaces(line, at + 1);
        if (at >= line.size() || line[at] != '"') {
            continue;
        }
        const std::size_t end = StringEnd(line, at + 1);
        line.replace(at + 1, end - at - 1, Mask);
    }
}

} // namespace

std::string MaskPasswords(std::string_view line)
{
    std::string masked(line);
    for (TAccessField field : PasswordFields) {
        MaskMember(masked, AccessFieldMember(field));
    }
    return masked;
}

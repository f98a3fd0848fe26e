#pragma once

#include <string>
#include <string_view>

namespace quorlane::net {

struct TUrlParts
{
    std::string Scheme;
    std::string User;
    std::string Password;
    std::string Host;
    std::string Port;
    std::string Path;
    std::string Parameters;
    std::string Target; // "/" plus everything after the authority, query and fragment included
};

// Splits a URL without decoding or validating anything; user and password come back as written.
TUrlParts SplitUrl(std::string_view url);

std::string PercentEncode(std::string_view text);
std::string PercentDecode(std::string_view text);
std::string Base64Encode(std::string_view bytes);

} // namespace quorlane::net

#pragma once

#include <string>
#include <string_view>

// A console line as it may be shown on screen: the values of the password members of the board's JSON (INIT
// messages and the settings line, should the board echo it) are replaced by asterisks. Everything else, also the
// length of the line's other parts, stays as received; the bytes exchanged with the board are never changed.
std::string MaskPasswords(std::string_view line);

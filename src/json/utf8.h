#pragma once

#include <string>
#include <string_view>

namespace quorlane::json {

// Conversions between the program's 8-bit text (UTF-8, the system code page) and UTF-16. Byte sequences that are
// not valid UTF-8 and unpaired surrogates each become U+FFFD, so nothing fails and nothing is silently dropped.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

} // namespace quorlane::json

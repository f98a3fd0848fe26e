#pragma once

#include <string>
#include <string_view>

namespace quorlane::json {

// Replaces the backslash escapes of a string's raw content by the bytes they stand for; \u escapes become UTF-8
// (one sequence per UTF-16 code unit) and an unknown escape is dropped with its letter. An invalid hexadecimal
// digit throws EConvertError.
std::string UnescapeString(std::string_view raw);

// Decodes up to three-byte UTF-8 sequences into UTF-16 code units. Sequences are not checked for overlong forms
// or surrogates, and a four-byte lead counts as a three-byte one. A missing or wrong continuation byte empties
// the whole text.
std::u16string DecodeUtf8Content(std::string_view bytes);

} // namespace quorlane::json

#pragma once

#include <string_view>

namespace quorlane::json {

// Converts a token with the JSON number syntax (optional sign, digits, optional fraction and exponent) to the
// nearest extended value, whatever the process locale. Too large throws EConvertError; too small gives 0 or a
// denormal.
long double ConvertNumberText(std::string_view token);

} // namespace quorlane::json

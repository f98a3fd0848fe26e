#pragma once

#include <string>
#include <string_view>

namespace quorlane::json {

// Appends the value in the general format with 15 significant digits: plain digits for decimal exponents from -3
// to 15, otherwise one digit, the fraction and "E" with the exponent; zero as 0, and INF, -INF or NAN for values
// that are not finite. The caller chooses the decimal separator ("." for JSON text, the locale's for display).
void AppendGeneralNumber(std::string& out, long double value, std::string_view decimalSeparator);

std::string FormatGeneralNumber(long double value, std::string_view decimalSeparator);

} // namespace quorlane::json

#include "numberparse.h"

#include "jsonerrors.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace quorlane::json {

namespace {

// Powers of ten that the extended type holds exactly (5^27 < 2^64).
constexpr int ExactPowers = 27;

constexpr std::array<long double, ExactPowers + 1> PowersOfTen()
{
    std::array<long double, ExactPowers + 1> powers{};
    long double power = 1;
    for (auto& entry : powers) {
        entry = power;
        power *= 10;
    }
    return powers;
}

constexpr auto Pow10 = PowersOfTen();

// The conversion with the C locale, so that the decimal separator is "." whatever the process locale says.
long double ConvertWithCLocale(std::string_view token)
{
    static const locale_t CLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string text(token);
    errno = 0;
    const long double value = strtold_l(text.c_str(), nullptr, CLocale);
    if (errno == ERANGE && std::isinf(value)) {
        throw EConvertError("number out of range");
    }
    return value;
}

} // namespace

// When the significant digits fit in 64 bits and the power of ten is exact, one multiplication or division of
// two exact values is correctly rounded; everything else goes to the library conversion.
long double ConvertNumberText(std::string_view token)
{
    std::size_t i = 0;
    const bool negative = token[0] == '-';
    if (token[0] == '-' || token[0] == '+') {
        ++i;
    }
    std::uint64_t mantissa = 0;
    int digits = 0;
    int exponent = 0;
    bool fraction = false;
    for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
        if (token[i] == '.') {
            fraction = true;
            continue;
        }
        if (mantissa != 0 || token[i] != '0') {
            if (++digits > 19) {
                return ConvertWithCLocale(token);
            }
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(token[i] - '0');
        }
        exponent -= fraction ? 1 : 0;
    }
    if (i < token.size()) {
        ++i;
        const bool negativeExponent = token[i] == '-';
        if (token[i] == '-' || token[i] == '+') {
            ++i;
        }
        int written = 0;
        for (; i < token.size(); ++i) {
            written = written * 10 + (token[i] - '0');
            if (written > ExactPowers * 2) {
                return ConvertWithCLocale(token);
            }
        }
        exponent += negativeExponent ? -written : written;
    }
    long double value = 0;
    if (mantissa != 0) {
        if (exponent < -ExactPowers || exponent > ExactPowers) {
            return ConvertWithCLocale(token);
        }
        value = static_cast<long double>(mantissa);
        value = exponent < 0 ? value / Pow10[static_cast<std::size_t>(-exponent)]
                             : value * Pow10[static_cast<std::size_t>(exponent)];
    }
    return negative ? -value : value;
}

} // namespace quorlane::json

#include "numberformat.h"

#include <charconv>
#include <cmath>

namespace quorlane::json {

namespace {

constexpr int SignificantDigits = 15;
// Below this every whole number has at most 15 digits and is written exactly without rounding.
constexpr long double ExactWholeLimit = 1e15L;

// The decimal digits of the value rounded to 15 significant digits, trailing zeros dropped, and the exponent e
// such that the value is 0.d1d2... times 10 to the power e.
struct TDigits
{
    char Digits[SignificantDigits];
    int Count = 0;
    int Exponent = 0;
};

TDigits WholeDigits(unsigned long long whole)
{
    TDigits result;
    char reversed[20];
    int length = 0;
    do {
        reversed[length++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    result.Exponent = length;
    int skip = 0;
    while (reversed[skip] == '0') {
        ++skip;
    }
    for (int i = length - 1; i >= skip; --i) {
        result.Digits[result.Count++] = reversed[i];
    }
    return result;
}

// The scientific form "d.dddddddddddddde[+-]x" is locale-independent and rounds to nearest.
TDigits RoundedDigits(long double magnitude)
{
    char text[64];
    auto written =
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, SignificantDigits - 1);
    TDigits result;
    const char* p = text;
    for (; *p != 'e'; ++p) {
        if (*p != '.') {
            result.Digits[result.Count++] = *p;
        }
    }
    int exponent = 0;
    std::from_chars(p + (p[1] == '+' ? 2 : 1), written.ptr, exponent);
    result.Exponent = exponent + 1;
    while (result.Count > 1 && result.Digits[result.Count - 1] == '0') {
        --result.Count;
    }
    return result;
}

void AppendDigits(std::string& out, const TDigits& d, std::string_view separator)
{
    const std::string_view digits(d.Digits, d.Count);
    if (d.Exponent > SignificantDigits || d.Exponent < -3) {
        out += digits[0];
        if (d.Count > 1) {
            out += separator;
            out += digits.substr(1);
        }
        out += 'E';
        char exponent[8];
        auto written = std::to_chars(exponent, exponent + sizeof exponent, d.Exponent - 1);
        out.append(exponent, written.ptr);
    } else if (d.Exponent <= 0) {
        out += '0';
        out += separator;
        out.append(static_cast<std::size_t>(-d.Exponent), '0');
        out += digits;
    } else if (d.Count <= d.Exponent) {
        out += digits;
        out.append(static_cast<std::size_t>(d.Exponent - d.Count), '0');
    } else {
        out += digits.substr(0, d.Exponent);
        out += separator;
        out += digits.substr(d.Exponent);
    }
}

} // namespace

void AppendGeneralNumber(std::string& out, long double value, std::string_view decimalSeparator)
{
    if (std::isnan(value)) {
        out += "NAN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-INF" : "INF";
        return;
    }
    if (value == 0) {
        out += '0';
        return;
    }
    if (value < 0) {
        out += '-';
        value = -value;
    }
    if (value < ExactWholeLimit && value == std::trunc(value)) {
        AppendDigits(out, WholeDigits(static_cast<unsigned long long>(value)), decimalSeparator);
    } else {
        AppendDigits(out, RoundedDigits(value), decimalSeparator);
    }
}

std::string FormatGeneralNumber(long double value, std::string_view decimalSeparator)
{
    std::string text;
    AppendGeneralNumber(text, value, decimalSeparator);
    return text;
}

} // namespace quorlane::json

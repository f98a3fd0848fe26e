#include "variant.h"

#include "jsonerrors.h"
#include "numberformat.h"
#include "utf8.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace quorlane::json {

namespace {

const char* TypeName(TVariantType type)
{
    switch (type) {
    case TVariantType::Null:
        return "Null";
    case TVariantType::Double:
        return "Double";
    case TVariantType::String:
        return "String";
    case TVariantType::Boolean:
        return "Boolean";
    }
    return "Unknown";
}

EVariantConversion ConversionError(TVariantType from, const char* to)
{
    return EVariantConversion(std::string("Could not convert variant of type (") + TypeName(from) + ") into type (" +
                              to + ")");
}

std::string LocaleDecimalSeparator()
{
    return std::localeconv()->decimal_point;
}

std::string Trimmed(const std::string& text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Reads a decimal number written with the user's locale, or one of INF, -INF and NAN as the text conversion
// writes them. Hexadecimal forms, trailing text and numbers beyond the double range are refused.
bool TextToDouble(const std::string& text, double& number)
{
    const std::string trimmed = Trimmed(text);
    if (trimmed == "INF" || trimmed == "-INF" || trimmed == "NAN") {
        number = trimmed == "NAN" ? std::numeric_limits<double>::quiet_NaN()
                                  : (trimmed[0] == '-' ? -1.0 : 1.0) * std::numeric_limits<double>::infinity();
        return true;
    }
    const std::string separator = LocaleDecimalSeparator();
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        const char c = trimmed[i];
        const bool numeric = std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == 'e' ||
                             c == 'E' || separator.find(c) != std::string::npos;
        if (!numeric) {
            return false;
        }
    }
    if (trimmed.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    number = std::strtod(trimmed.c_str(), &end);
    const bool overflow = errno == ERANGE && std::isinf(number);
    return end == trimmed.c_str() + trimmed.size() && !overflow;
}

} // namespace

double TVariant::AsDouble() const
{
    switch (Type()) {
    case TVariantType::Double:
        return std::get<double>(FValue);
    case TVariantType::Boolean:
        return std::get<bool>(FValue) ? 1.0 : 0.0;
    case TVariantType::String: {
        double number = 0;
        if (TextToDouble(Utf16ToUtf8(std::get<std::u16string>(FValue)), number)) {
            return number;
        }
        break;
    }
    case TVariantType::Null:
        break;
    }
    throw ConversionError(Type(), "Double");
}

bool TVariant::AsBoolean() const
{
    switch (Type()) {
    case TVariantType::Boolean:
        return std::get<bool>(FValue);
    case TVariantType::Double:
        return std::get<double>(FValue) != 0;
    case TVariantType::String: {
        const std::string text = Utf16ToUtf8(std::get<std::u16string>(FValue));
        const std::string word = Lowered(Trimmed(text));
        if (word == "true" || word == "false") {
            return word == "true";
        }
        double number = 0;
        if (TextToDouble(text, number)) {
            return number != 0;
        }
        break;
    }
    case TVariantType::Null:
        break;
    }
    throw ConversionError(Type(), "Boolean");
}

std::u16string TVariant::AsWideText() const
{
    if (Type() == TVariantType::String) {
        return std::get<std::u16string>(FValue);
    }
    return Utf8ToUtf16(AsTextStrict());
}

std::string TVariant::AsText() const
{
    return IsNull() ? std::string() : AsTextStrict();
}

std::string TVariant::AsTextStrict() const
{
    switch (Type()) {
    case TVariantType::String:
        return Utf16ToUtf8(std::get<std::u16string>(FValue));
    case TVariantType::Double:
        return FormatGeneralNumber(std::get<double>(FValue), LocaleDecimalSeparator());
    case TVariantType::Boolean:
        return std::get<bool>(FValue) ? "True" : "False";
    case TVariantType::Null:
        break;
    }
    throw ConversionError(Type(), "String");
}

} // namespace quorlane::json

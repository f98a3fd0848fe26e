#pragma once

#include <string>
#include <variant>

namespace quorlane::json {

enum class TVariantType { Null, Double, String, Boolean };

// The tagged value through which JSON values are read and written: null, a double, UTF-16 text or a boolean.
// Conversions that cannot be made throw EVariantConversion.
class TVariant
{
public:
    TVariant() = default;
    TVariant(double number) : FValue(number) {}
    TVariant(int number) : FValue(static_cast<double>(number)) {}
    TVariant(bool flag) : FValue(flag) {}
    TVariant(std::u16string text) : FValue(std::move(text)) {}
    TVariant(const char16_t* text) : FValue(std::u16string(text)) {}

    TVariantType Type() const { return static_cast<TVariantType>(FValue.index()); }
    bool IsNull() const { return Type() == TVariantType::Null; }

    // Numbers from text are read with the user's locale, the inverse of the text conversions below; true is 1.
    double AsDouble() const;
    // Numbers are true unless zero; text must be "true" or "false" in any letter case, or a number.
    bool AsBoolean() const;
    // Numbers as in AsText, booleans as "True" or "False"; null fails.
    std::u16string AsWideText() const;

    // 8-bit text for display: numbers in the general 15-digit format with the user's locale's decimal separator,
    // booleans as "True" or "False". The lenient form gives empty text for null, the strict form fails.
    std::string AsText() const;
    std::string AsTextStrict() const;

    friend bool operator==(const TVariant&, const TVariant&) = default;

private:
    std::variant<std::monostate, double, std::u16string, bool> FValue;
};

} // namespace quorlane::json

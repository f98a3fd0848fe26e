#include "jsonnumber.h"

namespace quorlane::json {

TVariant TJSONnumber::Value() const
{
    return static_cast<double>(Number);
}

void TJSONnumber::SetValue(const TVariant& value)
{
    Number = value.AsDouble();
}

TJSONKind TJSONnumber::Kind() const
{
    return jsNumber;
}

std::string TJSONnumber::KindName() const
{
    return "jsNumber";
}

} // namespace quorlane::json

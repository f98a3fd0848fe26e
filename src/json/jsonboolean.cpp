#include "jsonboolean.h"

namespace quorlane::json {

TVariant TJSONboolean::Value() const
{
    return Flag;
}

void TJSONboolean::SetValue(const TVariant& value)
{
    Flag = value.AsBoolean();
}

TJSONKind TJSONboolean::Kind() const
{
    return jsBoolean;
}

std::string TJSONboolean::KindName() const
{
    return "jsBoolean";
}

} // namespace quorlane::json

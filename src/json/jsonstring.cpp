#include "jsonstring.h"

namespace quorlane::json {

std::unique_ptr<TJSONstring> TJSONstring::CreateFromText(std::u16string text)
{
    auto value = std::make_unique<TJSONstring>();
    value->Text = std::move(text);
    return value;
}

TVariant TJSONstring::Value() const
{
    return Text;
}

void TJSONstring::SetValue(const TVariant& value)
{
    Text = value.IsNull() ? std::u16string() : value.AsWideText();
}

TJSONKind TJSONstring::Kind() const
{
    return jsString;
}

std::string TJSONstring::KindName() const
{
    return "jsString";
}

} // namespace quorlane::json

#pragma once

#include "jsonbase.h"

namespace quorlane::json {

class TJSONstring : public TJSONbase
{
public:
    std::u16string Text;

    static std::unique_ptr<TJSONstring> CreateFromText(std::u16string text);

    // Setting converts the variant to text; null gives empty text.
    TVariant Value() const override;
    void SetValue(const TVariant& value) override;
    TJSONKind Kind() const override;
    std::string KindName() const override;
};

} // namespace quorlane::json

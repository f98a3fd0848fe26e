#pragma once

#include "jsonbase.h"

namespace quorlane::json {

class TJSONnumber : public TJSONbase
{
public:
    long double Number = 0;

    // The number as a double; setting converts the variant to a double.
    TVariant Value() const override;
    void SetValue(const TVariant& value) override;
    TJSONKind Kind() const override;
    std::string KindName() const override;
};

} // namespace quorlane::json

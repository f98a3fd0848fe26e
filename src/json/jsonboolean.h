#pragma once

#include "jsonbase.h"

namespace quorlane::json {

class TJSONboolean : public TJSONbase
{
public:
    bool Flag = false;

    TVariant Value() const override;
    void SetValue(const TVariant& value) override;
    TJSONKind Kind() const override;
    std::string KindName() const override;
};

} // namespace quorlane::json

#pragma once

#include "jsoncustomlist.h"

namespace quorlane::json {

// A JSON array: its items are values.
class TJSONlist : public TJSONcustomlist
{
public:
    TJSONKind Kind() const override;
    std::string KindName() const override;
};

} // namespace quorlane::json

#pragma once

#include "jsonbase.h"

namespace quorlane::json {

class TJSONnull : public TJSONbase
{
public:
    TJSONKind Kind() const override;
    std::string KindName() const override;
};

} // namespace quorlane::json

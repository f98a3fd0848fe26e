#include "jsonnull.h"

namespace quorlane::json {

TJSONKind TJSONnull::Kind() const
{
    return jsNull;
}

std::string TJSONnull::KindName() const
{
    return "jsNull";
}

} // namespace quorlane::json

#include "jsonlist.h"

namespace quorlane::json {

TJSONKind TJSONlist::Kind() const
{
    return jsList;
}

std::string TJSONlist::KindName() const
{
    return "jsList";
}

} // namespace quorlane::json

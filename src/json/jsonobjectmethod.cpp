#include "jsonobjectmethod.h"

namespace quorlane::json {

TJSONobjectmethod::~TJSONobjectmethod()
{
    FreeChildren(*this);
}

std::unique_ptr<TJSONbase> TJSONobjectmethod::TakeLastChild()
{
    return std::move(MemberValue);
}

} // namespace quorlane::json

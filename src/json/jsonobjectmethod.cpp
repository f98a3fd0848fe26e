#include "jsonobjectmethod.h"

namespace quorlane::json {

TJSONobjectmethod::~TJSONobjectmethod()
{
    FreeTree(std::move(MemberValue));
}

void TJSONobjectmethod::MoveChildrenTo(std::vector<std::unique_ptr<TJSONbase>>& pending)
{
    pending.push_back(std::move(MemberValue));
}

} // namespace quorlane::json

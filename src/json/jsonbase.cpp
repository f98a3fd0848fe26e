#include "jsonbase.h"

namespace quorlane::json {

TVariant TJSONbase::Value() const
{
    return {};
}

void TJSONbase::SetValue(const TVariant&) {}

TJSONbase* TJSONbase::Item(int) const
{
    return nullptr;
}

void TJSONbase::SetItem(int, std::unique_ptr<TJSONbase>) {}

int TJSONbase::ItemCount() const
{
    return 0;
}

TJSONbase* TJSONbase::Field(const TVariant&)
{
    return this;
}

TJSONKind TJSONbase::Kind() const
{
    return jsBase;
}

std::string TJSONbase::KindName() const
{
    return "jsBase";
}

void TJSONbase::MoveChildrenTo(std::vector<std::unique_ptr<TJSONbase>>&) {}

void TJSONbase::FreeTree(std::unique_ptr<TJSONbase> root)
{
    std::vector<std::unique_ptr<TJSONbase>> pending;
    pending.push_back(std::move(root));
    while (!pending.empty()) {
        std::unique_ptr<TJSONbase> value = std::move(pending.back());
        pending.pop_back();
        if (value) {
            value->MoveChildrenTo(pending);
        }
    }
}

} // namespace quorlane::json

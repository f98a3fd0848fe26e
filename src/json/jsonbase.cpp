#include "jsonbase.h"

#include "valuepool.h"

namespace quorlane::json {

void* TJSONbase::operator new(std::size_t size)
{
    return AllocateValue(size);
}

void TJSONbase::operator delete(void* block, std::size_t size) noexcept
{
    ReleaseValue(block, size);
}

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

std::unique_ptr<TJSONbase> TJSONbase::TakeLastChild()
{
    return nullptr;
}

void TJSONbase::FreeChildren(TJSONbase& owner)
{
    std::vector<std::unique_ptr<TJSONbase>> path;
    for (;;) {
        TJSONbase& current = path.empty() ? owner : *path.back();
        if (std::unique_ptr<TJSONbase> child = current.TakeLastChild()) {
            path.push_back(std::move(child));
        } else if (path.empty()) {
            return;
        } else {
            path.pop_back();
        }
    }
}

} // namespace quorlane::json

#include "jsoncustomlist.h"

#include "jsonboolean.h"
#include "jsonerrors.h"
#include "jsonnumber.h"
#include "jsonstring.h"
#include "utf8.h"

#include <algorithm>
#include <cmath>

namespace quorlane::json {

namespace {

template <class T>
T* ItemAs(TJSONbase* item, const char* getter)
{
    auto* typed = dynamic_cast<T*>(item);
    if (!typed) {
        throw EInvalidCast(std::string(getter) + ": the item is a " + item->KindName());
    }
    return typed;
}

// Truncates toward zero and keeps the low 32 bits of the whole number, as a two's-complement integer.
std::int32_t LowBitsOfWhole(double number)
{
    if (!std::isfinite(number)) {
        throw EVariantConversion("Could not convert an infinite or undefined number into an integer");
    }
    constexpr double TwoTo32 = 4294967296.0;
    double low = std::fmod(std::trunc(number), TwoTo32);
    if (low < 0) {
        low += TwoTo32;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(low));
}

} // namespace

TJSONcustomlist::~TJSONcustomlist()
{
    FreeChildren(*this);
}

TJSONbase* TJSONcustomlist::Item(int index) const
{
    if (index < 0 || index >= ItemCount()) {
        return nullptr;
    }
    return Items[static_cast<std::size_t>(index)].get();
}

void TJSONcustomlist::SetItem(int index, std::unique_ptr<TJSONbase> value)
{
    if (index >= 0 && index < ItemCount()) {
        std::swap(Items[static_cast<std::size_t>(index)], value);
    }
}

int TJSONcustomlist::ItemCount() const
{
    return static_cast<int>(Items.size());
}

TJSONbase* TJSONcustomlist::Field(const TVariant& key)
{
    if (key.Type() != TVariantType::Double) {
        return this;
    }
    const double index = std::trunc(key.AsDouble());
    if (!(index >= 0 && index < ItemCount())) {
        return nullptr;
    }
    return Item(static_cast<int>(index));
}

TJSONbase* TJSONcustomlist::NamedItem(int index, std::string& name)
{
    name = std::to_string(index);
    return Item(index);
}

int TJSONcustomlist::AddItem(std::unique_ptr<TJSONbase> value)
{
    if (!value) {
        return -1;
    }
    Items.push_back(std::move(value));
    return ItemCount() - 1;
}

void TJSONcustomlist::DeleteItem(int index)
{
    if (index < 0 || index >= ItemCount()) {
        return;
    }
    const auto position = static_cast<std::size_t>(index);
    Items[position].reset();
    if (position + 1 < Items.size()) {
        Items[position] = std::move(Items.back());
    }
    Items.pop_back();
}

int TJSONcustomlist::IndexOfItem(const TJSONbase* value) const
{
    const auto found =
        std::find_if(Items.begin(), Items.end(), [value](const auto& item) { return item.get() == value; });
    return found == Items.end() ? -1 : static_cast<int>(found - Items.begin());
}

void TJSONcustomlist::Reserve(int count)
{
    Items.reserve(static_cast<std::size_t>(count));
}

std::int32_t TJSONcustomlist::IntAt(int index)
{
    TJSONbase* item = GetterValue(index);
    return item ? LowBitsOfWhole(ItemAs<TJSONnumber>(item, "IntAt")->Value().AsDouble()) : 0;
}

std::string TJSONcustomlist::TextAt(int index)
{
    TJSONbase* item = GetterValue(index);
    return item ? Utf16ToUtf8(ItemAs<TJSONstring>(item, "TextAt")->Text) : std::string();
}

std::u16string TJSONcustomlist::WideTextAt(int index)
{
    TJSONbase* item = GetterValue(index);
    return item ? ItemAs<TJSONstring>(item, "WideTextAt")->Text : std::u16string();
}

double TJSONcustomlist::DoubleAt(int index)
{
    TJSONbase* item = GetterValue(index);
    return item ? ItemAs<TJSONnumber>(item, "DoubleAt")->Value().AsDouble() : 0.0;
}

bool TJSONcustomlist::BooleanAt(int index)
{
    TJSONbase* item = GetterValue(index);
    return item ? ItemAs<TJSONboolean>(item, "BooleanAt")->Flag : false;
}

TJSONbase* TJSONcustomlist::GetterValue(int index)
{
    return Item(index);
}

std::unique_ptr<TJSONbase> TJSONcustomlist::TakeLastChild()
{
    if (Items.empty()) {
        return nullptr;
    }
    std::unique_ptr<TJSONbase> last = std::move(Items.back());
    Items.pop_back();
    return last;
}

} // namespace quorlane::json

#include "jsonobject.h"

#include "jsonerrors.h"
#include "jsonobjectmethod.h"
#include "jsonstring.h"
#include "utf8.h"

namespace quorlane::json {

TJSONbase* TJSONobject::Field(const TVariant& key)
{
    if (key.Type() == TVariantType::String) {
        return Member(key.AsWideText());
    }
    return TJSONcustomlist::Field(key);
}

TJSONKind TJSONobject::Kind() const
{
    return jsObject;
}

std::string TJSONobject::KindName() const
{
    return "jsObject";
}

TJSONbase* TJSONobject::NamedItem(int index, std::string& name)
{
    name = Utf16ToUtf8(NameAt(index));
    return MemberValueAt(index);
}

int TJSONobject::AddMember(std::u16string name, std::unique_ptr<TJSONbase> value)
{
    if (!value) {
        return -1;
    }
    auto member = std::make_unique<TJSONobjectmethod>();
    member->MemberName = std::move(name);
    member->MemberValue = std::move(value);
    const TJSONobjectmethod& added = *member;
    const int index = AddItem(std::move(member));
    if (UseNameIndex) {
        NameIndex.Insert(added.MemberName, index);
    }
    return index;
}

int TJSONobject::AddString(std::u16string name, std::string_view text)
{
    return AddMember(std::move(name), TJSONstring::CreateFromText(Utf8ToUtf16(text)));
}

int TJSONobject::IndexOfName(std::u16string_view name) const
{
    if (UseNameIndex) {
        return NameIndex.Find(name);
    }
    for (int index = 0; index < ItemCount(); ++index) {
        const auto* member = dynamic_cast<const TJSONobjectmethod*>(Item(index));
        if (member && member->MemberName == name) {
            return index;
        }
    }
    return -1;
}

TJSONbase* TJSONobject::Member(std::u16string_view name) const
{
    const auto* member = dynamic_cast<const TJSONobjectmethod*>(Item(IndexOfName(name)));
    return member ? member->MemberValue.get() : nullptr;
}

std::u16string TJSONobject::NameAt(int index) const
{
    TJSONbase* item = Item(index);
    if (!item) {
        return {};
    }
    const auto* member = dynamic_cast<const TJSONobjectmethod*>(item);
    if (!member) {
        throw EInvalidCast("NameAt: the object's item is a " + item->KindName() + ", not a member");
    }
    return member->MemberName;
}

TJSONbase* TJSONobject::MemberValueAt(int index) const
{
    const std::u16string name = NameAt(index);
    return name.empty() ? nullptr : Member(name);
}

TJSONbase* TJSONobject::GetterValue(int index)
{
    return MemberValueAt(index);
}

} // namespace quorlane::json

#pragma once

#include "jsonbaltree.h"
#include "jsoncustomlist.h"

namespace quorlane::json {

// A JSON object: its items are member records in the order they were added. Duplicate names are kept; lookups
// by name find the first. With UseNameIndex, names are found through NameIndex, otherwise by scanning in order.
// NameIndex follows AddMember only: replacing or deleting items is meant for freeing, not for editing members.
class TJSONobject : public TJSONcustomlist
{
public:
    explicit TJSONobject(bool useNameIndex = true) : UseNameIndex(useNameIndex) {}

    TJSONBalTree NameIndex;
    bool UseNameIndex;

    TJSONbase* Field(const TVariant& key) override;
    TJSONKind Kind() const override;
    std::string KindName() const override;
    // The member's name as 8-bit text and its value (the first member's value when the name is repeated).
    TJSONbase* NamedItem(int index, std::string& name) override;

    // Appends a member and gives its index; none is refused with -1.
    int AddMember(std::u16string name, std::unique_ptr<TJSONbase> value);
    // Adds a member whose value is the 8-bit text as a string.
    int AddString(std::u16string name, std::string_view text);
    int IndexOfName(std::u16string_view name) const;
    TJSONbase* Member(std::u16string_view name) const;
    // The name of the member at index; empty out of range, EInvalidCast when the item is not a member record.
    std::u16string NameAt(int index) const;
    // The value of the first member named like the one at index; none for an empty name.
    TJSONbase* MemberValueAt(int index) const;

protected:
    TJSONbase* GetterValue(int index) override;
};

} // namespace quorlane::json

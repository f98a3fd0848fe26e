#pragma once

#include "jsonbase.h"

#include <cstdint>

namespace quorlane::json {

// A container that owns an ordered list of items: the common part of arrays and objects. Indexes out of range
// never fail: reads give none, empty, 0 or false and writes do nothing.
class TJSONcustomlist : public TJSONbase
{
public:
    ~TJSONcustomlist() override;

    TJSONbase* Item(int index) const override;
    void SetItem(int index, std::unique_ptr<TJSONbase> value) override;
    int ItemCount() const override;
    TJSONbase* Field(const TVariant& key) override;

    // The item at index and its name: for arrays the index in decimal.
    virtual TJSONbase* NamedItem(int index, std::string& name);
    // Appends the value and gives its index; none is refused with -1.
    virtual int AddItem(std::unique_ptr<TJSONbase> value);
    // Frees the item at index and moves the last item into its place, so the order changes unless the last item
    // is deleted. Objects do not update their name index: deleting is meant for freeing the whole container.
    virtual void DeleteItem(int index);
    virtual int IndexOfItem(const TJSONbase* value) const;
    // Makes room for count items, so that adding them allocates once.
    void Reserve(int count);

    // Typed getters on an item (on a member's value for objects). An item of another kind throws EInvalidCast;
    // a missing item gives 0, empty text or false.
    std::int32_t IntAt(int index);
    std::string TextAt(int index);
    std::u16string WideTextAt(int index);
    double DoubleAt(int index);
    bool BooleanAt(int index);

protected:
    // The value the typed getters read at index: the item itself here, the member's value for objects.
    virtual TJSONbase* GetterValue(int index);
    std::unique_ptr<TJSONbase> TakeLastChild() override;

    std::vector<std::unique_ptr<TJSONbase>> Items;
};

} // namespace quorlane::json

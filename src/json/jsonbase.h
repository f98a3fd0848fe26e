#pragma once

#include "variant.h"

#include <memory>
#include <string>
#include <vector>

namespace quorlane::json {

enum TJSONKind { jsBase = 0, jsNumber = 1, jsString = 2, jsBoolean = 3, jsNull = 4, jsList = 5, jsObject = 6 };

// The root of the JSON value classes. Every value is owned by exactly one holder: the caller for a root, a
// container for its items, a member record for its value. Freeing never recurses, so trees of any depth can be freed.
class TJSONbase
{
public:
    TJSONbase() = default;
    TJSONbase(const TJSONbase&) = delete;
    TJSONbase& operator=(const TJSONbase&) = delete;
    virtual ~TJSONbase() = default;

    // Values live in pooled blocks (see valuepool.h); the virtual destructor passes each class's own size.
    static void* operator new(std::size_t size);
    static void operator delete(void* block, std::size_t size) noexcept;

    virtual TVariant Value() const;
    virtual void SetValue(const TVariant& value);
    virtual TJSONbase* Item(int index) const;
    // Replaces the item at index (freeing the old one); out of range, the new value is freed instead.
    virtual void SetItem(int index, std::unique_ptr<TJSONbase> value);
    virtual int ItemCount() const;
    // Numeric keys select items of containers, text keys members of objects; anything else gives the value itself.
    virtual TJSONbase* Field(const TVariant& key);
    virtual TJSONKind Kind() const;
    virtual std::string KindName() const;

protected:
    // Hands the last value this one owns over to the caller (none when it owns nothing); freeing takes values
    // apart with it, last first, keeping only the path from the value being freed down to the current one.
    virtual std::unique_ptr<TJSONbase> TakeLastChild();
    // Frees every value below owner without recursion, last item first. The destructors of values that own
    // others call it, so freeing any value never recurses.
    static void FreeChildren(TJSONbase& owner);
};

} // namespace quorlane::json

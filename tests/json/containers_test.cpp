#include "json.h"

#include <gtest/gtest.h>

using namespace quorlane::json;

namespace {

std::unique_ptr<TJSONnumber> Number(long double value)
{
    auto number = std::make_unique<TJSONnumber>();
    number->Number = value;
    return number;
}

// Counts how many instances are alive, to see what freeing frees.
class TCountedNull : public TJSONnull
{
public:
    explicit TCountedNull(int& alive) : FAlive(alive) { ++FAlive; }
    ~TCountedNull() override { --FAlive; }

private:
    int& FAlive;
};

} // namespace

TEST(JsonListTest, AddItemAppendsAndRefusesNone)
{
    TJSONlist list;
    EXPECT_EQ(list.AddItem(Number(1)), 0);
    EXPECT_EQ(list.AddItem(Number(2)), 1);
    EXPECT_EQ(list.AddItem(nullptr), -1);
    EXPECT_EQ(list.ItemCount(), 2);
}

TEST(JsonListTest, OutOfRangeIndexesNeverFail)
{
    TJSONlist list;
    list.AddItem(Number(1));
    for (int index : {-1, 1, 1000}) {
        EXPECT_EQ(list.Item(index), nullptr);
        std::string name;
        EXPECT_EQ(list.NamedItem(index, name), nullptr);
        EXPECT_EQ(list.IntAt(index), 0);
        EXPECT_EQ(list.TextAt(index), "");
        EXPECT_EQ(list.WideTextAt(index), u"");
        EXPECT_EQ(list.DoubleAt(index), 0.0);
        EXPECT_FALSE(list.BooleanAt(index));
        list.DeleteItem(index);
        list.SetItem(index, Number(9));
    }
    EXPECT_EQ(list.ItemCount(), 1);
    EXPECT_EQ(list.IntAt(0), 1);
}

TEST(JsonListTest, NamedItemNamesTheIndexInDecimal)
{
    TJSONlist list;
    for (int i = 0; i < 3; ++i) {
        list.AddItem(Number(i * 10));
    }
    std::string name;
    EXPECT_EQ(list.NamedItem(2, name), list.Item(2));
    EXPECT_EQ(name, "2");
}

TEST(JsonListTest, DeleteItemMovesTheLastItemIntoTheGap)
{
    TJSONlist list;
    for (int i = 1; i <= 3; ++i) {
        list.AddItem(Number(i));
    }
    list.DeleteItem(0);
    ASSERT_EQ(list.ItemCount(), 2);
    EXPECT_EQ(list.IntAt(0), 3);
    EXPECT_EQ(list.IntAt(1), 2);
    list.DeleteItem(1);
    ASSERT_EQ(list.ItemCount(), 1);
    EXPECT_EQ(list.IntAt(0), 3);
}

TEST(JsonListTest, DeleteAndSetItemFreeTheOldItem)
{
    int alive = 0;
    TJSONlist list;
    list.AddItem(std::make_unique<TCountedNull>(alive));
    list.AddItem(std::make_unique<TCountedNull>(alive));
    ASSERT_EQ(alive, 2);
    list.DeleteItem(0);
    EXPECT_EQ(alive, 1);
    list.SetItem(0, Number(5));
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(list.IntAt(0), 5);
}

TEST(JsonListTest, SetItemOutOfRangeFreesTheNewValue)
{
    int alive = 0;
    TJSONlist list;
    list.SetItem(0, std::make_unique<TCountedNull>(alive));
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(list.ItemCount(), 0);
}

TEST(JsonListTest, FreeingAContainerFreesEverythingBelow)
{
    int alive = 0;
    {
        auto inner = std::make_unique<TJSONobject>();
        inner->AddMember(u"a", std::make_unique<TCountedNull>(alive));
        auto list = std::make_unique<TJSONlist>();
        list->AddItem(std::make_unique<TCountedNull>(alive));
        list->AddItem(std::move(inner));
        TJSONobject root;
        root.AddMember(u"list", std::move(list));
        root.AddMember(u"b", std::make_unique<TCountedNull>(alive));
        EXPECT_EQ(alive, 3);
    }
    EXPECT_EQ(alive, 0);
}

TEST(JsonListTest, IndexOfItemFindsThatVeryReference)
{
    TJSONlist list;
    list.AddItem(Number(1));
    list.AddItem(Number(1));
    EXPECT_EQ(list.IndexOfItem(list.Item(1)), 1);
    TJSONnumber elsewhere;
    EXPECT_EQ(list.IndexOfItem(&elsewhere), -1);
    EXPECT_EQ(list.IndexOfItem(nullptr), -1);
}

TEST(JsonListTest, TypedGettersReadTheirKind)
{
    TJSONlist list;
    list.AddItem(Number(-1.9L));
    list.AddItem(TJSONstring::CreateFromText(u"\u041F\u0440\u0438"));
    auto flag = std::make_unique<TJSONboolean>();
    flag->Flag = true;
    list.AddItem(std::move(flag));
    list.AddItem(Number(1.9L));
    EXPECT_EQ(list.IntAt(0), -1);
    EXPECT_EQ(list.IntAt(3), 1);
    EXPECT_EQ(list.DoubleAt(0), -1.9);
    EXPECT_EQ(list.TextAt(1), "\xD0\x9F\xD1\x80\xD0\xB8");
    EXPECT_EQ(list.WideTextAt(1), u"\u041F\u0440\u0438");
    EXPECT_TRUE(list.BooleanAt(2));
}

TEST(JsonListTest, TypedGetterOnAnotherKindThrowsInvalidCast)
{
    TJSONlist list;
    list.AddItem(TJSONstring::CreateFromText(u"12"));
    list.AddItem(Number(12));
    list.AddItem(std::make_unique<TJSONnull>());
    EXPECT_THROW(list.IntAt(0), EInvalidCast);
    EXPECT_THROW(list.DoubleAt(0), EInvalidCast);
    EXPECT_THROW(list.BooleanAt(0), EInvalidCast);
    EXPECT_THROW(list.TextAt(1), EInvalidCast);
    EXPECT_THROW(list.WideTextAt(1), EInvalidCast);
    EXPECT_THROW(list.IntAt(2), EInvalidCast);
}

TEST(JsonListTest, IntAtKeepsTheLowThirtyTwoBits)
{
    TJSONlist list;
    list.AddItem(Number(4294967297.0L));
    list.AddItem(Number(2147483648.0L));
    list.AddItem(Number(-4294967297.5L));
    list.AddItem(Number(1e20L));
    EXPECT_EQ(list.IntAt(0), 1);
    EXPECT_EQ(list.IntAt(1), INT32_MIN);
    EXPECT_EQ(list.IntAt(2), -1);
    EXPECT_EQ(list.IntAt(3), 1661992960) << "1e20 mod 2^32";
}

TEST(JsonListTest, IntAtOnNonFiniteNumberThrows)
{
    auto root = TJSON::ParseJSONText("[1e400]");
    auto* list = dynamic_cast<TJSONlist*>(root.get());
    ASSERT_TRUE(list);
    EXPECT_THROW(list->IntAt(0), EVariantConversion) << "1e400 is infinite as a double";
}

TEST(JsonListTest, GettersOnAnEmptySlotGiveDefaults)
{
    TJSONlist list;
    list.AddItem(Number(3));
    list.SetItem(0, nullptr);
    EXPECT_EQ(list.ItemCount(), 1);
    EXPECT_EQ(list.IntAt(0), 0);
    EXPECT_EQ(list.TextAt(0), "");
}

TEST(JsonListTest, FieldSelectsItemsByNumber)
{
    TJSONlist list;
    list.AddItem(Number(10));
    list.AddItem(Number(20));
    EXPECT_EQ(list.Field(TVariant(1)), list.Item(1));
    EXPECT_EQ(list.Field(TVariant(1.7)), list.Item(1)) << "the key is truncated";
    EXPECT_EQ(list.Field(TVariant(5)), nullptr);
    EXPECT_EQ(list.Field(TVariant(-1)), nullptr);
    EXPECT_EQ(list.Field(TVariant(1e300)), nullptr);
    EXPECT_EQ(list.Field(TVariant(u"1")), &list) << "a text key gives the container itself";
    EXPECT_EQ(list.Field(TVariant(true)), &list);
    EXPECT_EQ(list.Field(TVariant()), &list);
}

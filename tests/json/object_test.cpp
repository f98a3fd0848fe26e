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

// Runs each case with and without the name index: lookups must agree.
class JsonObjectTest : public testing::TestWithParam<bool>
{
protected:
    TJSONobject Object{GetParam()};
};

} // namespace

TEST_P(JsonObjectTest, MemberFindsByNameAndMissingGivesNone)
{
    Object.AddMember(u"a", Number(1));
    Object.AddMember(u"b", Number(2));
    EXPECT_EQ(Object.Member(u"b")->Value(), TVariant(2.0));
    EXPECT_EQ(Object.Member(u"c"), nullptr);
    EXPECT_EQ(Object.IndexOfName(u"b"), 1);
    EXPECT_EQ(Object.IndexOfName(u"c"), -1);
}

TEST_P(JsonObjectTest, RepeatedNameFindsTheFirstMember)
{
    Object.AddMember(u"k", Number(1));
    Object.AddMember(u"k", Number(2));
    EXPECT_EQ(Object.ItemCount(), 2);
    EXPECT_EQ(Object.Member(u"k")->Value(), TVariant(1.0));
    EXPECT_EQ(Object.IndexOfName(u"k"), 0);
}

TEST_P(JsonObjectTest, NamesAreCaseSensitive)
{
    Object.AddMember(u"Name", Number(1));
    Object.AddMember(u"name", Number(2));
    EXPECT_EQ(Object.Member(u"Name")->Value(), TVariant(1.0));
    EXPECT_EQ(Object.Member(u"name")->Value(), TVariant(2.0));
    EXPECT_EQ(Object.Member(u"NAME"), nullptr);
}

TEST_P(JsonObjectTest, ManyMembersAreAllFound)
{
    for (int i = 0; i < 1000; ++i) {
        Object.AddMember(u"m" + std::u16string(1, char16_t(u'A' + i % 26)) + std::u16string(1, char16_t(0x400 + i)),
                         Number(i));
    }
    for (int i = 0; i < 1000; ++i) {
        const std::u16string name =
            u"m" + std::u16string(1, char16_t(u'A' + i % 26)) + std::u16string(1, char16_t(0x400 + i));
        EXPECT_EQ(Object.IndexOfName(name), i);
    }
}

TEST_P(JsonObjectTest, AddMemberRefusesNone)
{
    EXPECT_EQ(Object.AddMember(u"a", nullptr), -1);
    EXPECT_EQ(Object.ItemCount(), 0);
    EXPECT_EQ(Object.IndexOfName(u"a"), -1);
}

TEST_P(JsonObjectTest, AddStringConvertsEightBitText)
{
    EXPECT_EQ(Object.AddString(u"ssid", "Caf\xC3\xA9"), 0);
    EXPECT_EQ(Object.AddString(u"pass", ""), 1);
    EXPECT_EQ(Object.WideTextAt(0), u"Caf\u00E9");
    ASSERT_TRUE(Object.Member(u"pass"));
    EXPECT_EQ(Object.Member(u"pass")->Kind(), jsString);
    EXPECT_EQ(Object.TextAt(1), "");
}

TEST_P(JsonObjectTest, ItemIsTheMemberRecordAndNamedItemItsNameAndValue)
{
    Object.AddMember(u"first", Number(1));
    Object.AddString(u"second", "two");
    auto* member = dynamic_cast<TJSONobjectmethod*>(Object.Item(0));
    ASSERT_TRUE(member);
    EXPECT_EQ(member->MemberName, u"first");
    std::string name;
    EXPECT_EQ(Object.NamedItem(0, name), member->MemberValue.get());
    EXPECT_EQ(name, "first");
    EXPECT_EQ(Object.NamedItem(5, name), nullptr);
    EXPECT_EQ(name, "");
}

TEST_P(JsonObjectTest, GettersReadMemberValues)
{
    Object.AddMember(u"n", Number(12.9L));
    Object.AddString(u"s", "text");
    EXPECT_EQ(Object.IntAt(0), 12);
    EXPECT_EQ(Object.TextAt(1), "text");
    EXPECT_THROW(Object.IntAt(1), EInvalidCast);
    EXPECT_EQ(Object.IntAt(2), 0);
}

TEST_P(JsonObjectTest, MemberWithEmptyNameHasNoValueThroughItsIndex)
{
    Object.AddMember(u"", Number(3));
    EXPECT_EQ(Object.MemberValueAt(0), nullptr);
    EXPECT_EQ(Object.IntAt(0), 0);
    EXPECT_EQ(Object.Member(u"")->Value(), TVariant(3.0)) << "by name it is still there";
}

TEST_P(JsonObjectTest, NameAtOfAnItemThatIsNoMemberThrows)
{
    Object.AddItem(Number(1));
    EXPECT_THROW(Object.NameAt(0), EInvalidCast);
    EXPECT_EQ(Object.NameAt(1), u"");
}

TEST_P(JsonObjectTest, FieldTakesNamesAndIndexes)
{
    Object.AddMember(u"a", Number(1));
    EXPECT_EQ(Object.Field(TVariant(u"a")), Object.Member(u"a"));
    EXPECT_EQ(Object.Field(TVariant(u"zz")), nullptr);
    EXPECT_EQ(Object.Field(TVariant(0)), Object.Item(0));
    EXPECT_EQ(Object.Field(TVariant(false)), &Object);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutNameIndex, JsonObjectTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "NameIndex" : "LinearScan";
                         });

TEST(JsonObjectIndexTest, NewObjectsUseTheNameIndexByDefault)
{
    TJSONobject object;
    EXPECT_TRUE(object.UseNameIndex);
    object.AddMember(u"x", Number(1));
    EXPECT_EQ(object.NameIndex.Find(u"x"), 0);
}

TEST(JsonObjectIndexTest, WithoutTheIndexTheTreeStaysEmpty)
{
    TJSONobject object(false);
    object.AddMember(u"x", Number(1));
    EXPECT_EQ(object.NameIndex.Find(u"x"), -1);
    EXPECT_EQ(object.IndexOfName(u"x"), 0);
}

TEST(JsonBalTreeTest, EmptyTreeFindsNothing)
{
    TJSONBalTree tree;
    EXPECT_EQ(tree.Find(u"a"), -1);
    EXPECT_EQ(tree.Find(u""), -1);
}

TEST(JsonBalTreeTest, RepeatedInsertKeepsTheFirstIndex)
{
    TJSONBalTree tree;
    EXPECT_TRUE(tree.Insert(u"b", 0));
    EXPECT_TRUE(tree.Insert(u"a", 1));
    EXPECT_TRUE(tree.Insert(u"c", 2));
    EXPECT_EQ(tree.Find(u"a"), 1);
    EXPECT_FALSE(tree.Insert(u"a", 5));
    EXPECT_EQ(tree.Find(u"a"), 1);
    EXPECT_EQ(tree.Find(u"b"), 0);
    EXPECT_EQ(tree.Find(u"c"), 2);
}

TEST(JsonBalTreeTest, PrefixesAndCodeUnitOrder)
{
    TJSONBalTree tree;
    const std::u16string names[] = {u"ab", u"a", u"abc", u"", u"\uFFFF", u"\u00E9", u"B", u"b"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(tree.Insert(names[i], i));
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(tree.Find(names[i]), i);
    }
    EXPECT_EQ(tree.Find(u"abcd"), -1);
}

TEST(JsonBalTreeTest, SortedAndReversedInsertionsStayFindable)
{
    TJSONBalTree ascending;
    TJSONBalTree descending;
    constexpr int Count = 5000;
    for (int i = 0; i < Count; ++i) {
        ascending.Insert(std::u16string(1, char16_t(0x100 + i)), i);
        descending.Insert(std::u16string(1, char16_t(0x100 + Count - 1 - i)), i);
    }
    for (int i = 0; i < Count; ++i) {
        ASSERT_EQ(ascending.Find(std::u16string(1, char16_t(0x100 + i))), i);
        ASSERT_EQ(descending.Find(std::u16string(1, char16_t(0x100 + i))), Count - 1 - i);
    }
}

TEST(JsonBalTreeTest, ClearForgetsEveryName)
{
    TJSONBalTree tree;
    tree.Insert(u"a", 0);
    tree.Insert(u"b", 1);
    tree.Clear();
    EXPECT_EQ(tree.Find(u"a"), -1);
    EXPECT_TRUE(tree.Insert(u"a", 7));
    EXPECT_EQ(tree.Find(u"a"), 7);
}

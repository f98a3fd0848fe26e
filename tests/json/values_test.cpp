#include "json.h"

#include <gtest/gtest.h>

using namespace quorlane::json;

TEST(JsonValueTest, NewValuesHoldTheirDefaults)
{
    EXPECT_EQ(TJSONnumber().Number, 0.0L);
    EXPECT_EQ(TJSONstring().Text, u"");
    EXPECT_FALSE(TJSONboolean().Flag);
    TJSONobjectmethod member;
    EXPECT_FALSE(member.MemberValue);
    EXPECT_EQ(member.MemberName, u"");
    EXPECT_EQ(TJSONlist().ItemCount(), 0);
    EXPECT_EQ(TJSONobject().ItemCount(), 0);
}

TEST(JsonValueTest, KindsAndKindNames)
{
    const std::pair<std::unique_ptr<TJSONbase>, TJSONKind> values[] = {
        {std::make_unique<TJSONbase>(), jsBase},       {std::make_unique<TJSONnumber>(), jsNumber},
        {std::make_unique<TJSONstring>(), jsString},   {std::make_unique<TJSONboolean>(), jsBoolean},
        {std::make_unique<TJSONnull>(), jsNull},       {std::make_unique<TJSONlist>(), jsList},
        {std::make_unique<TJSONobject>(), jsObject},   {std::make_unique<TJSONobjectmethod>(), jsBase},
        {std::make_unique<TJSONcustomlist>(), jsBase},
    };
    const char* names[] = {"jsBase", "jsNumber", "jsString", "jsBoolean", "jsNull", "jsList", "jsObject"};
    for (const auto& [value, kind] : values) {
        EXPECT_EQ(value->Kind(), kind);
        EXPECT_EQ(value->KindName(), names[kind]);
    }
    EXPECT_EQ(static_cast<int>(jsObject), 6);
}

TEST(JsonValueTest, ValueGivesTheVariantOfEachKind)
{
    TJSONnumber number;
    number.Number = 2.5L;
    EXPECT_EQ(number.Value(), TVariant(2.5));
    TJSONstring string;
    string.Text = u"abc";
    EXPECT_EQ(string.Value(), TVariant(u"abc"));
    TJSONboolean flag;
    flag.Flag = true;
    EXPECT_EQ(flag.Value(), TVariant(true));
    EXPECT_TRUE(TJSONnull().Value().IsNull());
}

TEST(JsonValueTest, ContainersAndMembersHaveNullValueAndEmptyLenientText)
{
    TJSONobjectmethod member;
    member.MemberValue = TJSONstring::CreateFromText(u"x");
    TJSONlist list;
    TJSONobject object;
    for (const TJSONbase* value : {static_cast<const TJSONbase*>(&member), static_cast<const TJSONbase*>(&list),
                                   static_cast<const TJSONbase*>(&object)}) {
        EXPECT_TRUE(value->Value().IsNull()) << value->KindName();
        EXPECT_EQ(value->Value().AsText(), "");
        EXPECT_THROW(value->Value().AsTextStrict(), EVariantConversion);
    }
}

TEST(JsonValueTest, SetValueConvertsTheVariant)
{
    TJSONnumber number;
    number.SetValue(TVariant(7.25));
    EXPECT_EQ(number.Number, 7.25L);
    number.SetValue(TVariant(true));
    EXPECT_EQ(number.Number, 1.0L);
    number.SetValue(TVariant(u" 42 "));
    EXPECT_EQ(number.Number, 42.0L);

    TJSONstring string;
    string.SetValue(TVariant(3.5));
    EXPECT_EQ(string.Text, u"3.5");
    string.SetValue(TVariant(false));
    EXPECT_EQ(string.Text, u"False");
    string.SetValue(TVariant());
    EXPECT_EQ(string.Text, u"") << "null gives empty text";

    TJSONboolean flag;
    flag.SetValue(TVariant(2.0));
    EXPECT_TRUE(flag.Flag);
    flag.SetValue(TVariant(u"FALSE"));
    EXPECT_FALSE(flag.Flag);
    flag.SetValue(TVariant(u"true"));
    EXPECT_TRUE(flag.Flag);
}

TEST(JsonValueTest, FailedSetValueLeavesTheValueUnchanged)
{
    TJSONnumber number;
    number.Number = 5;
    EXPECT_THROW(number.SetValue(TVariant()), EVariantConversion);
    EXPECT_THROW(number.SetValue(TVariant(u"five")), EVariantConversion);
    EXPECT_THROW(number.SetValue(TVariant(u"0x10")), EVariantConversion);
    EXPECT_EQ(number.Number, 5.0L);
    TJSONboolean flag;
    flag.Flag = true;
    EXPECT_THROW(flag.SetValue(TVariant(u"maybe")), EVariantConversion);
    EXPECT_THROW(flag.SetValue(TVariant()), EVariantConversion);
    EXPECT_TRUE(flag.Flag);
}

TEST(JsonValueTest, SetValueOnBaseAndContainersDoesNothing)
{
    TJSONlist list;
    list.SetValue(TVariant(1.0));
    EXPECT_TRUE(list.Value().IsNull());
    EXPECT_EQ(list.ItemCount(), 0);
}

TEST(JsonValueTest, ScalarsHaveNoItemsAndFieldGivesThemselves)
{
    TJSONnumber number;
    EXPECT_EQ(number.ItemCount(), 0);
    EXPECT_EQ(number.Item(0), nullptr);
    EXPECT_EQ(number.Field(TVariant(0.0)), &number);
    EXPECT_EQ(number.Field(TVariant(u"x")), &number);
    number.SetItem(0, std::make_unique<TJSONnull>());
    EXPECT_EQ(number.ItemCount(), 0);
}

TEST(JsonValueTest, CreateFromTextHoldsTheText)
{
    EXPECT_EQ(TJSONstring::CreateFromText(u"\u041F")->Text, u"\u041F");
}

#include "json.h"

#include <gtest/gtest.h>

using namespace quorlane::json;

namespace {

std::unique_ptr<TJSONbase> Parse(std::string_view text)
{
    return TJSON::ParseJSONText(text);
}

TJSONlist* AsList(const std::unique_ptr<TJSONbase>& value)
{
    return dynamic_cast<TJSONlist*>(value.get());
}

} // namespace

TEST(JsonParserTest, BoardMessageWithLeadingSpaceAndCarriageReturn)
{
    auto root = Parse(" {\"operate\":\"INIT\"}\r");
    ASSERT_TRUE(root);
    auto* object = dynamic_cast<TJSONobject*>(root.get());
    ASSERT_TRUE(object);
    EXPECT_EQ(object->ItemCount(), 1);
    EXPECT_EQ(object->NameAt(0), u"operate");
    EXPECT_EQ(object->TextAt(0), "INIT");
}

TEST(JsonParserTest, EmptyBlankOrByteOrderMarkOnlyGivesNone)
{
    EXPECT_FALSE(Parse(""));
    EXPECT_FALSE(Parse("   \r\n\t"));
    EXPECT_FALSE(Parse("\xEF\xBB\xBF"));
    EXPECT_FALSE(Parse("\xEF\xBB\xBF  "));
}

TEST(JsonParserTest, ByteOrderMarkIsSkipped)
{
    auto root = Parse("\xEF\xBB\xBF[1]");
    ASSERT_TRUE(AsList(root));
    EXPECT_EQ(root->ItemCount(), 1);
}

TEST(JsonParserTest, TopLevelScalarsOfEveryKind)
{
    EXPECT_EQ(Parse("\"x\"")->Kind(), jsString);
    EXPECT_EQ(Parse("-4.5")->Kind(), jsNumber);
    EXPECT_EQ(Parse("true")->Kind(), jsBoolean);
    EXPECT_EQ(Parse("null")->Kind(), jsNull);
    EXPECT_EQ(Parse("[]")->Kind(), jsList);
    EXPECT_EQ(Parse("{}")->Kind(), jsObject);
}

TEST(JsonParserTest, LiteralsNeedNoDelimiter)
{
    auto list = Parse("[truefalse]");
    ASSERT_TRUE(AsList(list));
    ASSERT_EQ(list->ItemCount(), 2);
    EXPECT_TRUE(AsList(list)->BooleanAt(0));
    EXPECT_FALSE(AsList(list)->BooleanAt(1));
    EXPECT_EQ(Parse("nullx")->Kind(), jsNull);
    auto flag = Parse("trueX");
    ASSERT_TRUE(flag);
    EXPECT_TRUE(static_cast<TJSONboolean*>(flag.get())->Flag);
}

TEST(JsonParserTest, LiteralsAreCaseSensitiveAndComplete)
{
    EXPECT_FALSE(Parse("True"));
    EXPECT_FALSE(Parse("nul"));
    EXPECT_FALSE(Parse("fals"));
    EXPECT_FALSE(Parse("NULL"));
}

TEST(JsonParserTest, CommasAreOptionalInArrays)
{
    for (const char* text : {"[1 2 3]", "[1,2,3]", "[1,2,3,]", "[ 1 ,2\n3 ]"}) {
        auto list = Parse(text);
        ASSERT_TRUE(AsList(list)) << text;
        ASSERT_EQ(list->ItemCount(), 3) << text;
        EXPECT_EQ(AsList(list)->IntAt(2), 3) << text;
    }
}

TEST(JsonParserTest, MisplacedCommasFail)
{
    EXPECT_FALSE(Parse("[,1]"));
    EXPECT_FALSE(Parse("[1,,2]"));
    EXPECT_FALSE(Parse("[1,2,,]"));
    EXPECT_FALSE(Parse("{,\"a\":1}"));
    EXPECT_FALSE(Parse("{\"a\":1,,}"));
}

TEST(JsonParserTest, EmptyContainers)
{
    auto list = Parse("[ ]");
    ASSERT_TRUE(AsList(list));
    EXPECT_EQ(list->ItemCount(), 0);
    auto object = Parse("{\n}");
    ASSERT_TRUE(object);
    EXPECT_EQ(object->Kind(), jsObject);
    EXPECT_EQ(object->ItemCount(), 0);
}

TEST(JsonParserTest, UnclosedContainersFail)
{
    EXPECT_FALSE(Parse("["));
    EXPECT_FALSE(Parse("[1, 2"));
    EXPECT_FALSE(Parse("{\"a\":1"));
    EXPECT_FALSE(Parse("[1}"));
    EXPECT_FALSE(Parse("{\"a\":[1}"));
}

TEST(JsonParserTest, TrailingCommaInObjectIsAccepted)
{
    auto root = Parse("{\"a\":1,\"b\":2,}");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->ItemCount(), 2);
}

TEST(JsonParserTest, MemberWithoutColonFails)
{
    EXPECT_FALSE(Parse("{\"a\" 1}"));
    EXPECT_FALSE(Parse("{\"a\"}"));
    EXPECT_FALSE(Parse("{\"a\":}"));
}

TEST(JsonParserTest, MemberNamesMustBeQuoted)
{
    EXPECT_FALSE(Parse("{a:1}"));
    EXPECT_FALSE(Parse("{1:1}"));
}

TEST(JsonParserTest, ObjectWithAFailingMemberFailsAsAWhole)
{
    EXPECT_FALSE(Parse("{\"a\":1,\"b\":tru}"));
    EXPECT_FALSE(Parse("[{\"a\":1},{\"b\":[1 x]}]"));
}

TEST(JsonParserTest, RepeatedMemberNamesAreKeptAndTheFirstIsFound)
{
    auto root = Parse("{\"k\":1,\"k\":2}");
    auto* object = dynamic_cast<TJSONobject*>(root.get());
    ASSERT_TRUE(object);
    ASSERT_EQ(object->ItemCount(), 2);
    EXPECT_EQ(object->Member(u"k")->Value(), TVariant(1.0));
    EXPECT_EQ(object->IntAt(1), 1) << "a repeated name reads the first member's value";
    EXPECT_TRUE(object->UseNameIndex);
    EXPECT_EQ(object->NameIndex.Find(u"k"), 0);
}

TEST(JsonParserTest, TextAfterTheFirstValueIsIgnored)
{
    auto root = Parse("[1] trailing garbage ]]]");
    ASSERT_TRUE(AsList(root));
    EXPECT_EQ(root->ItemCount(), 1);
    EXPECT_EQ(Parse("{} {")->Kind(), jsObject);
}

TEST(JsonParserTest, ControlBytesAndNulCountAsBlanks)
{
    using namespace std::string_literals;
    auto root = Parse("\x01\x1F\0 [\x07 1\x10]"s);
    ASSERT_TRUE(AsList(root));
    EXPECT_EQ(AsList(root)->IntAt(0), 1);
}

TEST(JsonParserTest, BytesFromHex80AreNotBlanks)
{
    EXPECT_FALSE(Parse("\xA0[1]"));
}

TEST(JsonParserTest, NestedStructureKeepsOrderAndKinds)
{
    auto root = Parse(R"({"list":[1,"two",{"three":3},[null]],"flag":false})");
    auto* object = dynamic_cast<TJSONobject*>(root.get());
    ASSERT_TRUE(object);
    auto* list = dynamic_cast<TJSONlist*>(object->Member(u"list"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->ItemCount(), 4);
    EXPECT_EQ(list->Item(0)->Kind(), jsNumber);
    EXPECT_EQ(list->TextAt(1), "two");
    auto* inner = dynamic_cast<TJSONobject*>(list->Item(2));
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->IntAt(0), 3);
    EXPECT_EQ(list->Item(3)->Item(0)->Kind(), jsNull);
    EXPECT_FALSE(object->BooleanAt(1));
}

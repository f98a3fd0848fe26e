#include "json.h"

#include <gtest/gtest.h>

using namespace quorlane::json;

namespace {

// Generates the tree, parses the text again and generates once more: both texts must agree.
std::string RoundTrip(const TJSONbase& root)
{
    const std::string first = TJSON::GenerateJSONText(&root);
    auto reparsed = TJSON::ParseJSONText(first);
    EXPECT_TRUE(reparsed) << first;
    const std::string second = TJSON::GenerateJSONText(reparsed.get());
    EXPECT_EQ(first, second);
    return first;
}

} // namespace

TEST(JsonRoundTripTest, StringsOfEveryRangeComeBackUnchanged)
{
    const std::u16string samples[] = {
        u"",
        u"plain",
        u"\"quoted\" \\ / \b\f\n\r\t",
        std::u16string(u"nul\0inside", 10),
        u"\x01\x1F\x7F",
        u"\u00E9\u041F\u20AC\uFFFF",
        u"\U0001F600 outside the BMP",
        u"\xD800 lone high",
        u"lone low \xDC00",
    };
    for (const auto& sample : samples) {
        TJSONlist list;
        list.AddItem(TJSONstring::CreateFromText(sample));
        auto reparsed = TJSON::ParseJSONText(TJSON::GenerateJSONText(&list));
        ASSERT_TRUE(reparsed);
        EXPECT_EQ(static_cast<TJSONlist*>(reparsed.get())->WideTextAt(0), sample);
    }
}

TEST(JsonRoundTripTest, NumbersComeBackRoundedToFifteenDigits)
{
    TJSONnumber number;
    number.Number = 1.0L / 7;
    auto reparsed = TJSON::ParseJSONText(TJSON::GenerateJSONText(&number));
    ASSERT_TRUE(reparsed);
    EXPECT_EQ(static_cast<TJSONnumber*>(reparsed.get())->Number, 0.142857142857143L);
}

TEST(JsonRoundTripTest, MixedDocumentIsStable)
{
    auto parsed = TJSON::ParseJSONText(
        R"( {"name":"Board \"A\"","list":[1, 2.5e-7 ,true,false,null,[],{}],"nested":{"x":{"y":[["z"]]}},"a":1,"a":2} )");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(
        RoundTrip(*parsed),
        R"({"name":"Board \"A\"","list":[1,2.5E-7,true,false,null,[],{}],"nested":{"x":{"y":[["z"]]}},"a":1,"a":2})");
}

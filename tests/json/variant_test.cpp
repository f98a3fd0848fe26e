#include "json.h"
#include "utf8.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorlane::json;

TEST(JsonVariantTest, TypesOfTheConstructors)
{
    EXPECT_EQ(TVariant().Type(), TVariantType::Null);
    EXPECT_EQ(TVariant(1.5).Type(), TVariantType::Double);
    EXPECT_EQ(TVariant(3).Type(), TVariantType::Double);
    EXPECT_EQ(TVariant(u"x").Type(), TVariantType::String);
    EXPECT_EQ(TVariant(false).Type(), TVariantType::Boolean);
}

TEST(JsonVariantTest, LenientAndStrictText)
{
    EXPECT_EQ(TVariant(u"\u041F").AsText(), "\xD0\x9F");
    EXPECT_EQ(TVariant(true).AsText(), "True");
    EXPECT_EQ(TVariant(false).AsTextStrict(), "False");
    EXPECT_EQ(TVariant(1.0 / 3).AsText(), "0.333333333333333");
    EXPECT_EQ(TVariant(1e20).AsText(), "1E20");
    EXPECT_EQ(TVariant().AsText(), "");
    EXPECT_THROW(TVariant().AsTextStrict(), EVariantConversion);
}

TEST(JsonVariantTest, NonFiniteNumbersAsText)
{
    EXPECT_EQ(TVariant(std::numeric_limits<double>::infinity()).AsText(), "INF");
    EXPECT_EQ(TVariant(-std::numeric_limits<double>::infinity()).AsText(), "-INF");
    EXPECT_EQ(TVariant(std::numeric_limits<double>::quiet_NaN()).AsText(), "NAN");
}

TEST(JsonVariantTest, TextToNumberAcceptsWhatTextConversionWrites)
{
    for (double number : {0.0, -2.5, 1e-5, 123456789012345.0, 1e300, 0.1}) {
        EXPECT_EQ(TVariant(TVariant(number).AsWideText()).AsDouble(), number);
    }
    EXPECT_TRUE(std::isinf(TVariant(u"INF").AsDouble()));
    EXPECT_TRUE(std::isnan(TVariant(u"NAN").AsDouble()));
}

TEST(JsonVariantTest, TextThatIsNoNumberFails)
{
    for (const char16_t* text : {u"", u"  ", u"abc", u"1x", u"0x1A", u"inf", u"1 2", u"nan", u"1e400"}) {
        EXPECT_THROW(TVariant(text).AsDouble(), EVariantConversion) << TVariant(text).AsText();
    }
}

TEST(JsonVariantTest, BooleanConversions)
{
    EXPECT_TRUE(TVariant(0.5).AsBoolean());
    EXPECT_FALSE(TVariant(0.0).AsBoolean());
    EXPECT_TRUE(TVariant(u" True ").AsBoolean());
    EXPECT_FALSE(TVariant(u"false").AsBoolean());
    EXPECT_TRUE(TVariant(u"-1").AsBoolean());
    EXPECT_FALSE(TVariant(u"0").AsBoolean());
    EXPECT_THROW(TVariant(u"yes").AsBoolean(), EVariantConversion);
    EXPECT_THROW(TVariant().AsBoolean(), EVariantConversion);
    EXPECT_EQ(TVariant(true).AsDouble(), 1.0);
    EXPECT_EQ(TVariant(false).AsDouble(), 0.0);
}

TEST(JsonVariantTest, WideTextOfEachType)
{
    EXPECT_EQ(TVariant(2.0).AsWideText(), u"2");
    EXPECT_EQ(TVariant(true).AsWideText(), u"True");
    EXPECT_EQ(TVariant(u"t").AsWideText(), u"t");
    EXPECT_THROW(TVariant().AsWideText(), EVariantConversion);
}

TEST(JsonVariantTest, ConversionErrorNamesTheTypes)
{
    try {
        TVariant().AsDouble();
        FAIL() << "no exception";
    } catch (const EVariantConversion& error) {
        EXPECT_STREQ(error.what(), "Could not convert variant of type (Null) into type (Double)");
    }
}

TEST(JsonUtf8Test, SystemCodePageConversionsRoundTrip)
{
    const std::u16string text = u"A\u00E9\u041F\u20AC\U0001F600";
    const std::string bytes = Utf16ToUtf8(text);
    EXPECT_EQ(bytes, "A\xC3\xA9\xD0\x9F\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToUtf16(bytes), text);
}

TEST(JsonUtf8Test, InvalidInputBecomesReplacementCharacters)
{
    EXPECT_EQ(Utf8ToUtf16("a\xCFz"), u"a\uFFFDz");
    EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD") << "overlong forms are refused";
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD") << "encoded surrogates are refused";
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD");
    EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

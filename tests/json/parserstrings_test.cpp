#include "json.h"

#include <gtest/gtest.h>

using namespace quorlane::json;

namespace {

// The text of a parsed top-level string; fails the test when the parse gives anything else.
std::u16string StringOf(std::string_view text)
{
    auto value = TJSON::ParseJSONText(text);
    auto* string = dynamic_cast<TJSONstring*>(value.get());
    EXPECT_TRUE(string) << "no string from " << text;
    return string ? string->Text : u"<none>";
}

} // namespace

TEST(JsonStringParseTest, SimpleEscapes)
{
    EXPECT_EQ(StringOf(R"("a\"b\'c\/d\\e")"), u"a\"b'c/d\\e");
    EXPECT_EQ(StringOf(R"("\b\f\n\r\t")"), u"\b\f\n\r\t");
}

TEST(JsonStringParseTest, UnknownEscapeDropsBothBytes)
{
    EXPECT_EQ(StringOf(R"("a\xb")"), u"ab");
    EXPECT_EQ(StringOf(R"("\q\z")"), u"");
}

TEST(JsonStringParseTest, UnicodeEscapeGivesOneCharacter)
{
    EXPECT_EQ(StringOf(R"("\u041F")"), u"\u041F");
    EXPECT_EQ(StringOf(R"("\u041f")"), u"\u041F");
    EXPECT_EQ(StringOf(R"("\u0041\u00e9\u20AC")"), u"A\u00E9\u20AC");
}

TEST(JsonStringParseTest, EscapedNulKeepsItsPlace)
{
    EXPECT_EQ(StringOf(R"("a\u0000b")"), std::u16string(u"a\0b", 3));
}

TEST(JsonStringParseTest, SurrogatePairEscapesGiveTheSameCodeUnits)
{
    EXPECT_EQ(StringOf(R"("\uD83D\uDE00")"), u"\U0001F600");
}

TEST(JsonStringParseTest, ShortUnicodeEscapeUsesTheDigitsThatRemain)
{
    EXPECT_EQ(StringOf(R"("\u41")"), u"A");
}

TEST(JsonStringParseTest, InvalidHexDigitFailsTheWholeParse)
{
    EXPECT_FALSE(TJSON::ParseJSONText(R"("\u00G1")"));
    EXPECT_FALSE(TJSON::ParseJSONText(R"(["ok", "\uzzzz"])"));
    EXPECT_FALSE(TJSON::ParseJSONText(R"({"\u12x4":1})"));
    EXPECT_FALSE(TJSON::ParseJSONText(R"("\u")"));
}

TEST(JsonStringParseTest, RawUtf8IsDecoded)
{
    EXPECT_EQ(StringOf("\"\xD0\x9F\""), u"\u041F");
    EXPECT_EQ(StringOf("\"caf\xC3\xA9 \xE2\x82\xAC\""), u"caf\u00E9 \u20AC");
}

TEST(JsonStringParseTest, InvalidUtf8EmptiesTheStringButTheParseGoesOn)
{
    EXPECT_EQ(StringOf("\"\xCF\""), u"");
    EXPECT_EQ(StringOf("\"abc\xCF\xF0\""), u"");
    EXPECT_EQ(StringOf("\"\xE2\x82\""), u"") << "a three-byte sequence cut short";
    auto root = TJSON::ParseJSONText("[\"\xCF\", 5]");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->ItemCount(), 2);
}

// Regression: a four-byte character (an emoji in a network name) used to empty the whole string.
TEST(JsonStringParseTest, FourByteSequenceBecomesASurrogatePair)
{
    EXPECT_EQ(StringOf("\"net \xF0\x9F\x98\x80!\""), u"net \U0001F600!");
    EXPECT_EQ(StringOf("\"\xF4\x8F\xBF\xBF\""), u"\U0010FFFF");
}

TEST(JsonStringParseTest, IllFormedFourByteSequenceKeepsTheThreeByteReading)
{
    EXPECT_EQ(StringOf("\"\xF0\x9F\x98\""), u"\u07D8") << "cut short: the lead reads as a three-byte lead";
    EXPECT_EQ(StringOf("\"\xF4\x90\x80\x80\""), u"") << "beyond U+10FFFF: the fourth byte starts a sequence that fails";
}

TEST(JsonStringParseTest, LeadByteRulesFollowBitHex20)
{
    // 0xA0 has bit 0x20 set, so it leads a three-byte sequence even though it is a continuation byte.
    EXPECT_EQ(StringOf("\"\xA0\x80\x80\""), std::u16string(1, char16_t(0)));
    // 0x80 leads a two-byte sequence.
    EXPECT_EQ(StringOf("\"\x81\x81\""), std::u16string(1, char16_t(0x41)));
}

TEST(JsonStringParseTest, EscapedClosingQuoteWithoutAnotherFails)
{
    EXPECT_FALSE(TJSON::ParseJSONText(R"("abc\")"));
    EXPECT_FALSE(TJSON::ParseJSONText(R"(["abc\"])"));
    EXPECT_FALSE(TJSON::ParseJSONText("\"abc\\"));
}

TEST(JsonStringParseTest, EscapedBackslashBeforeTheQuoteClosesTheString)
{
    EXPECT_EQ(StringOf(R"("abc\\")"), u"abc\\");
    EXPECT_EQ(StringOf(R"("\\\"x")"), u"\\\"x");
}

TEST(JsonStringParseTest, RawControlCharactersAreKept)
{
    EXPECT_EQ(StringOf("\"a\nb\tc\r\""), u"a\nb\tc\r");
}

TEST(JsonStringParseTest, MemberNamesAreDecodedLikeValues)
{
    auto root = TJSON::ParseJSONText("{\"\\u0041\xD0\x9F\":1,\"\xCF\":2}");
    auto* object = dynamic_cast<TJSONobject*>(root.get());
    ASSERT_TRUE(object);
    EXPECT_EQ(object->NameAt(0), u"A\u041F");
    EXPECT_EQ(object->NameAt(1), u"") << "an invalid name becomes the empty name";
    EXPECT_EQ(object->Member(u"A\u041F")->Value(), TVariant(1.0));
}

TEST(JsonStringParseTest, LongStringOfBackslashesWithoutQuoteIsRejectedQuickly)
{
    // A scan that searched again from every backslash would take quadratic time here.
    std::string text = "\"" + std::string(2000000, '\\');
    text.back() = 'a';
    EXPECT_FALSE(TJSON::ParseJSONText(text));
}

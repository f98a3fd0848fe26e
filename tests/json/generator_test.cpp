#include "json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorlane::json;

namespace {

std::unique_ptr<TJSONstring> String(std::u16string text)
{
    return TJSONstring::CreateFromText(std::move(text));
}

std::unique_ptr<TJSONnumber> Number(long double value)
{
    auto number = std::make_unique<TJSONnumber>();
    number->Number = value;
    return number;
}

std::string GenerateNumber(long double value)
{
    auto number = Number(value);
    return TJSON::GenerateJSONText(number.get());
}

std::string GenerateString(std::u16string text)
{
    auto string = String(std::move(text));
    return TJSON::GenerateJSONText(string.get());
}

} // namespace

TEST(JsonGeneratorTest, NoneGivesEmptyText)
{
    EXPECT_EQ(TJSON::GenerateJSONText(nullptr), "");
}

TEST(JsonGeneratorTest, EmptyContainersAndString)
{
    TJSONobject object;
    TJSONlist list;
    EXPECT_EQ(TJSON::GenerateJSONText(&object), "{}");
    EXPECT_EQ(TJSON::GenerateJSONText(&list), "[]");
    EXPECT_EQ(GenerateString(u""), "\"\"");
}

TEST(JsonGeneratorTest, ScalarsOfEveryKind)
{
    TJSONboolean yes;
    yes.Flag = true;
    TJSONboolean no;
    TJSONnull null;
    EXPECT_EQ(TJSON::GenerateJSONText(&yes), "true");
    EXPECT_EQ(TJSON::GenerateJSONText(&no), "false");
    EXPECT_EQ(TJSON::GenerateJSONText(&null), "null");
}

TEST(JsonGeneratorTest, ObjectIsCompactAndKeepsInsertionOrder)
{
    TJSONobject object;
    object.AddString(u"a", "b");
    EXPECT_EQ(TJSON::GenerateJSONText(&object), R"({"a":"b"})");
    object.AddMember(u"z", Number(1));
    object.AddMember(u"m", std::make_unique<TJSONnull>());
    object.AddString(u"a", "again");
    EXPECT_EQ(TJSON::GenerateJSONText(&object), R"({"a":"b","z":1,"m":null,"a":"again"})");
}

TEST(JsonGeneratorTest, SettingsLineMembersStayInOrder)
{
    const char16_t* names[] = {u"operate", u"ssid", u"pass",   u"ip",    u"gateway",
                               u"netmask", u"name", u"apssid", u"appass"};
    TJSONobject settings;
    std::string expected = "{";
    for (const char16_t* name : names) {
        settings.AddString(name, "v");
        expected += (expected.size() > 1 ? ",\"" : "\"") +
                    std::string(name, name + std::char_traits<char16_t>::length(name)) + "\":\"v\"";
    }
    expected += "}";
    EXPECT_EQ(TJSON::GenerateJSONText(&settings), expected);
}

TEST(JsonGeneratorTest, NestedArraysAndObjects)
{
    auto inner = std::make_unique<TJSONlist>();
    inner->AddItem(Number(1));
    inner->AddItem(std::make_unique<TJSONlist>());
    auto object = std::make_unique<TJSONobject>();
    object->AddMember(u"x", std::move(inner));
    TJSONlist root;
    root.AddItem(std::move(object));
    root.AddItem(String(u"s"));
    EXPECT_EQ(TJSON::GenerateJSONText(&root), R"([{"x":[1,[]]},"s"])");
}

TEST(JsonGeneratorTest, MemberWithoutValueWritesNameAndColon)
{
    TJSONobject object;
    auto member = std::make_unique<TJSONobjectmethod>();
    member->MemberName = u"n";
    object.AddItem(std::move(member));
    object.AddMember(u"m", Number(2));
    EXPECT_EQ(TJSON::GenerateJSONText(&object), R"({"n":,"m":2})");
}

TEST(JsonGeneratorTest, EmptySlotKeepsItsSeparators)
{
    TJSONlist list;
    list.AddItem(Number(1));
    list.AddItem(Number(2));
    list.AddItem(Number(3));
    list.SetItem(1, nullptr);
    EXPECT_EQ(TJSON::GenerateJSONText(&list), "[1,,3]");
}

TEST(JsonGeneratorTest, PlainBaseAndMemberRecordRoots)
{
    TJSONbase base;
    EXPECT_EQ(TJSON::GenerateJSONText(&base), "");
    TJSONobjectmethod member;
    member.MemberName = u"k";
    member.MemberValue = std::make_unique<TJSONboolean>();
    EXPECT_EQ(TJSON::GenerateJSONText(&member), R"("k":false)");
}

TEST(JsonGeneratorTest, StringEscapes)
{
    EXPECT_EQ(GenerateString(u"a\nb\tc/d"), R"("a\nb\tc\/d")");
    EXPECT_EQ(GenerateString(u"\"\\\b\f\r"), R"("\"\\\b\f\r")");
    EXPECT_EQ(GenerateString(u"\x1F\x01"), R"("\u001F\u0001")");
    EXPECT_EQ(GenerateString(std::u16string(1, u'\0')), R"("\u0000")");
    EXPECT_EQ(GenerateString(u"\x7F'"), "\"\x7F'\"");
}

TEST(JsonGeneratorTest, NonAsciiTravelsAsRawUtf8)
{
    EXPECT_EQ(GenerateString(u"\u00E9"), "\"\xC3\xA9\"");
    EXPECT_EQ(GenerateString(u"\u041F"), "\"\xD0\x9F\"");
    EXPECT_EQ(GenerateString(u"\u20AC"), "\"\xE2\x82\xAC\"");
}

// Regression: a pair used to be written as two three-byte halves, which no UTF-8 reader (the board included) takes
// for the character that was sent.
TEST(JsonGeneratorTest, SurrogatePairBecomesOneFourByteSequence)
{
    EXPECT_EQ(GenerateString(u"\U0001F600"), "\"\xF0\x9F\x98\x80\"");
    EXPECT_EQ(GenerateString(u"a\U0010FFFFb"), "\"a\xF4\x8F\xBF\xBF"
                                               "b\"");
}

TEST(JsonGeneratorTest, UnpairedSurrogateHalvesBecomeThreeByteSequencesEach)
{
    EXPECT_EQ(GenerateString(std::u16string(1, char16_t(0xD83D))), "\"\xED\xA0\xBD\"");
    EXPECT_EQ(GenerateString(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), "\"\xED\xB8\x80\xED\xA0\xBD\"");
}

TEST(JsonGeneratorTest, PairAcrossTheWritersPiecesStaysWhole)
{
    for (std::size_t before : {4094u, 4095u, 4096u}) {
        std::u16string text(before, u'x');
        text += u"\U0001F600";
        const std::string expected = "\"" + std::string(before, 'x') + "\xF0\x9F\x98\x80\"";
        EXPECT_EQ(GenerateString(text), expected) << before << " units before the pair";
    }
}

TEST(JsonGeneratorTest, NumbersInTheGeneralFormat)
{
    EXPECT_EQ(GenerateNumber(1), "1");
    EXPECT_EQ(GenerateNumber(0), "0");
    EXPECT_EQ(GenerateNumber(-0.0L), "0");
    EXPECT_EQ(GenerateNumber(0.5), "0.5");
    EXPECT_EQ(GenerateNumber(-2.5), "-2.5");
    EXPECT_EQ(GenerateNumber(0.0001L), "0.0001");
    EXPECT_EQ(GenerateNumber(0.00001L), "1E-5");
    EXPECT_EQ(GenerateNumber(1e15L), "1E15");
    EXPECT_EQ(GenerateNumber(1e14L + 1), "100000000000001");
    EXPECT_EQ(GenerateNumber(1e17L + 1), "1E17");
    EXPECT_EQ(GenerateNumber(2.5e-7L), "2.5E-7");
}

TEST(JsonGeneratorTest, NumbersAreRoundedToFifteenSignificantDigits)
{
    EXPECT_EQ(GenerateNumber(0.1L), "0.1");
    EXPECT_EQ(GenerateNumber(1.0L / 3), "0.333333333333333");
    EXPECT_EQ(GenerateNumber(2.0L / 3), "0.666666666666667");
    EXPECT_EQ(GenerateNumber(123456789.123456789L), "123456789.123457");
    EXPECT_EQ(GenerateNumber(999999999999999.9L), "1E15") << "rounding up adds a digit";
    EXPECT_EQ(GenerateNumber(-1234567890123456789.0L), "-1.23456789012346E18");
    EXPECT_EQ(GenerateNumber(1e-300L), "1E-300");
    EXPECT_EQ(GenerateNumber(1.5e4000L), "1.5E4000");
}

TEST(JsonGeneratorTest, NumberThresholdsOfThePlainForm)
{
    EXPECT_EQ(GenerateNumber(123456789012345.0L), "123456789012345");
    EXPECT_EQ(GenerateNumber(1234567890123456.0L), "1.23456789012346E15");
    EXPECT_EQ(GenerateNumber(0.000123L), "0.000123");
    EXPECT_EQ(GenerateNumber(0.0000123L), "1.23E-5");
    EXPECT_EQ(GenerateNumber(12.75L), "12.75");
    EXPECT_EQ(GenerateNumber(100), "100");
}

TEST(JsonGeneratorTest, NonFiniteNumbers)
{
    EXPECT_EQ(GenerateNumber(std::numeric_limits<long double>::infinity()), "INF");
    EXPECT_EQ(GenerateNumber(-std::numeric_limits<long double>::infinity()), "-INF");
    EXPECT_EQ(GenerateNumber(std::numeric_limits<long double>::quiet_NaN()), "NAN");
}

TEST(JsonGeneratorTest, LargeOutputIsComplete)
{
    TJSONlist list;
    for (int i = 0; i < 30000; ++i) {
        list.AddItem(String(u"abcdefgh"));
    }
    const std::string text = TJSON::GenerateJSONText(&list);
    EXPECT_EQ(text.size(), 2 + 30000 * 10 + 29999);
    EXPECT_EQ(text.substr(text.size() - 12), ",\"abcdefgh\"]");
}

#include "json.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

using namespace quorlane::json;

namespace {

long double NumberOf(std::string_view text)
{
    auto value = TJSON::ParseJSONText(text);
    auto* number = dynamic_cast<TJSONnumber*>(value.get());
    EXPECT_TRUE(number) << "no number from " << text;
    return number ? number->Number : -12345.0L;
}

} // namespace

TEST(JsonNumberParseTest, IntegersFractionsAndExponents)
{
    EXPECT_EQ(NumberOf("0"), 0.0L);
    EXPECT_EQ(NumberOf("42"), 42.0L);
    EXPECT_EQ(NumberOf("-17"), -17.0L);
    EXPECT_EQ(NumberOf("+5"), 5.0L);
    EXPECT_EQ(NumberOf("007"), 7.0L);
    EXPECT_EQ(NumberOf("2.5"), 2.5L);
    EXPECT_EQ(NumberOf("1e3"), 1000.0L);
    EXPECT_EQ(NumberOf("1E+3"), 1000.0L);
    EXPECT_EQ(NumberOf("25e-1"), 2.5L);
    EXPECT_EQ(NumberOf("-0.125E1"), -1.25L);
}

TEST(JsonNumberParseTest, ValuesAreCorrectlyRoundedExtended)
{
    EXPECT_EQ(NumberOf("0.1"), 0.1L);
    EXPECT_EQ(NumberOf("3.14159265358979323846"), 3.14159265358979323846L);
    EXPECT_EQ(NumberOf("123456789012345678"), 123456789012345678.0L);
    EXPECT_EQ(NumberOf("18446744073709551615"), 18446744073709551615.0L);
    EXPECT_EQ(NumberOf("1.7976931348623157e308"), 1.7976931348623157e308L);
    EXPECT_EQ(NumberOf("9.87654321e-30"), 9.87654321e-30L);
    EXPECT_EQ(NumberOf("0.000000000000000000000000000000001"), 1e-33L);
}

TEST(JsonNumberParseTest, ExtendedRangeBeyondDouble)
{
    EXPECT_EQ(NumberOf("1e400"), 1e400L);
    EXPECT_EQ(NumberOf("-2.5e-400"), -2.5e-400L);
}

TEST(JsonNumberParseTest, NegativeZeroKeepsItsSign)
{
    const long double zero = NumberOf("-0");
    EXPECT_EQ(zero, 0.0L);
    EXPECT_TRUE(std::signbit(zero));
}

TEST(JsonNumberParseTest, TooLargeForExtendedFailsTheWholeParse)
{
    EXPECT_FALSE(TJSON::ParseJSONText("1e99999"));
    EXPECT_FALSE(TJSON::ParseJSONText("[1, -1e5000]"));
    EXPECT_FALSE(TJSON::ParseJSONText("{\"size\":2e4933}"));
}

TEST(JsonNumberParseTest, TooSmallBecomesZeroOrDenormal)
{
    EXPECT_EQ(NumberOf("1e-99999"), 0.0L);
    const long double tiny = NumberOf("1e-4940");
    EXPECT_GT(tiny, 0.0L);
    EXPECT_LT(tiny, LDBL_MIN);
    EXPECT_EQ(NumberOf("0e99999"), 0.0L);
}

TEST(JsonNumberParseTest, MalformedNumbersGiveNone)
{
    for (const char* text : {"5.", ".5", "1e", "1e+", "-", "+", "Infinity", "NaN", "-.5", "--1"}) {
        EXPECT_FALSE(TJSON::ParseJSONText(text)) << text;
    }
}

TEST(JsonNumberParseTest, TextAfterTheNumberIsLeftAlone)
{
    EXPECT_EQ(NumberOf("12abc"), 12.0L);
    EXPECT_EQ(NumberOf("0x10"), 0.0L);
    EXPECT_EQ(NumberOf("1.5e3.7"), 1500.0L);
}

TEST(JsonNumberParseTest, HexadecimalTailIsNotReadByTheConversion)
{
    // The token stops at the x; a library conversion given the rest would read 0x1p4 as 16.
    auto list = TJSON::ParseJSONText("[0x1p4]");
    EXPECT_FALSE(list);
}

TEST(JsonNumberParseTest, ArrayOfNumbersWithoutCommas)
{
    auto list = TJSON::ParseJSONText("[1 -2 +3 4.5e1]");
    auto* items = dynamic_cast<TJSONlist*>(list.get());
    ASSERT_TRUE(items);
    ASSERT_EQ(items->ItemCount(), 4);
    EXPECT_EQ(items->DoubleAt(1), -2.0);
    EXPECT_EQ(items->DoubleAt(2), 3.0);
    EXPECT_EQ(items->DoubleAt(3), 45.0);
}

TEST(JsonNumberParseTest, ShortcutForShortNumbersAgreesWithTheLibraryConversion)
{
    // Numbers with up to 19 significant digits and small exponents take a shortcut; the library conversion is
    // the reference (this test runs in the C locale).
    std::mt19937_64 random(20261209);
    for (int i = 0; i < 20000; ++i) {
        const std::string digits = std::to_string(random() >> (random() % 60));
        const auto point = random() % (digits.size() + 1);
        std::string text = digits.substr(0, point == 0 ? 1 : point);
        if (point != 0 && point < digits.size()) {
            text += "." + digits.substr(point);
        }
        text += "e" + std::to_string(static_cast<int>(random() % 61) - 30);
        ASSERT_EQ(NumberOf(text), std::strtold(text.c_str(), nullptr)) << text;
    }
}

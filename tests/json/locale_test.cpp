#include "json.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace quorlane::json;

namespace {

// Runs every case under a locale whose decimal separator is a comma, as a German desktop would.
class JsonCommaLocaleTest : public testing::Test
{
protected:
    void SetUp() override
    {
        FPrevious = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            GTEST_FAIL() << "the de_DE.UTF-8 locale is missing; scripts/install-deps generates it";
        }
    }
    void TearDown() override { std::setlocale(LC_ALL, FPrevious.c_str()); }

private:
    std::string FPrevious;
};

} // namespace

TEST_F(JsonCommaLocaleTest, ParsingNumbersIgnoresTheLocaleSeparator)
{
    auto value = TJSON::ParseJSONText("3.14");
    auto* number = dynamic_cast<TJSONnumber*>(value.get());
    ASSERT_TRUE(number);
    EXPECT_EQ(number->Number, 3.14L);
    auto slow = TJSON::ParseJSONText("3.14159265358979323846264338327950288");
    ASSERT_TRUE(slow);
    EXPECT_EQ(static_cast<TJSONnumber*>(slow.get())->Number, 3.14159265358979323846264338327950288L);
    auto list = TJSON::ParseJSONText("[3,14]");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->ItemCount(), 2) << "a comma is still a separator between items";
}

TEST_F(JsonCommaLocaleTest, GeneratedNumbersUseAPoint)
{
    TJSONnumber number;
    number.Number = 3.5L;
    EXPECT_EQ(TJSON::GenerateJSONText(&number), "3.5");
    number.Number = 2.5e-7L;
    EXPECT_EQ(TJSON::GenerateJSONText(&number), "2.5E-7");
    number.Number = 1.0L / 3;
    EXPECT_EQ(TJSON::GenerateJSONText(&number), "0.333333333333333");
}

TEST_F(JsonCommaLocaleTest, LenientTextUsesTheUsersSeparator)
{
    TJSONnumber number;
    number.Number = 3.5L;
    EXPECT_EQ(number.Value().AsText(), "3,5");
    EXPECT_EQ(TVariant(1.25e-7).AsText(), "1,25E-7");
    EXPECT_EQ(TVariant(42.0).AsText(), "42");
}

TEST_F(JsonCommaLocaleTest, TextToNumberReadsTheUsersSeparator)
{
    EXPECT_EQ(TVariant(u"3,5").AsDouble(), 3.5);
    TJSONnumber number;
    number.SetValue(TVariant(u"0,25"));
    EXPECT_EQ(number.Number, 0.25L);
    TJSONstring string;
    string.SetValue(TVariant(0.75));
    EXPECT_EQ(string.Text, u"0,75");
}

#include "json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

using namespace quorlane::json;

TEST(JsonValuePoolTest, NumbersAreAlignedForTheExtendedType)
{
    std::vector<std::unique_ptr<TJSONbase>> values;
    for (int i = 0; i < 1000; ++i) {
        values.push_back(i % 2 ? std::unique_ptr<TJSONbase>(std::make_unique<TJSONnull>())
                               : std::unique_ptr<TJSONbase>(std::make_unique<TJSONnumber>()));
    }
    for (const auto& value : values) {
        if (const auto* number = dynamic_cast<const TJSONnumber*>(value.get())) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&number->Number) % alignof(long double), 0u);
        }
    }
}

TEST(JsonValuePoolTest, TreesMayBeFreedOnAnotherThreadAndTheirBlocksReused)
{
    const std::string text = R"({"name":"Lamp","list":[1,2.5,true,null,"x"],"nested":{"a":{"b":[]}}})";
    std::unique_ptr<TJSONbase> madeElsewhere;
    std::thread maker([&] { madeElsewhere = TJSON::ParseJSONText(text); });
    maker.join();
    ASSERT_TRUE(madeElsewhere);
    const std::string expected = TJSON::GenerateJSONText(madeElsewhere.get());
    madeElsewhere.reset();
    for (int i = 0; i < 100; ++i) {
        auto again = TJSON::ParseJSONText(text);
        ASSERT_EQ(TJSON::GenerateJSONText(again.get()), expected);
    }
    std::thread freer([tree = TJSON::ParseJSONText(text)]() mutable { tree.reset(); });
    freer.join();
    EXPECT_EQ(TJSON::GenerateJSONText(TJSON::ParseJSONText(text).get()), expected);
}

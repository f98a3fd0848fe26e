#include "json.h"

#include <gtest/gtest.h>

using namespace quorlane::json;

namespace {

std::string Nested(int depth, char open, char close, std::string_view core)
{
    std::string text(static_cast<std::size_t>(depth), open);
    text += core;
    text.append(static_cast<std::size_t>(depth), close);
    return text;
}

// Arrays or objects nested depth levels deep, built by hand: deeper than the parser would ever give.
std::unique_ptr<TJSONbase> BuildDeep(int depth, bool objects)
{
    std::unique_ptr<TJSONbase> value = std::make_unique<TJSONnull>();
    for (int i = 0; i < depth; ++i) {
        if (objects) {
            auto object = std::make_unique<TJSONobject>();
            object->AddMember(u"k", std::move(value));
            value = std::move(object);
        } else {
            auto list = std::make_unique<TJSONlist>();
            list->AddItem(std::move(value));
            value = std::move(list);
        }
    }
    return value;
}

class TCountedNull : public TJSONnull
{
public:
    explicit TCountedNull(int& alive) : FAlive(alive) { ++FAlive; }
    ~TCountedNull() override { --FAlive; }

private:
    int& FAlive;
};

} // namespace

TEST(JsonNestingTest, NestingUpToTheBoundParses)
{
    auto arrays = TJSON::ParseJSONText(Nested(TJSON::MaxNesting, '[', ']', "1"));
    ASSERT_TRUE(arrays);
    EXPECT_EQ(TJSON::GenerateJSONText(arrays.get()), Nested(TJSON::MaxNesting, '[', ']', "1"));
    std::string objects;
    for (int i = 0; i < TJSON::MaxNesting; ++i) {
        objects += "{\"a\":";
    }
    objects += "0" + std::string(TJSON::MaxNesting, '}');
    EXPECT_TRUE(TJSON::ParseJSONText(objects));
}

TEST(JsonNestingTest, NestingBeyondTheBoundGivesNone)
{
    EXPECT_FALSE(TJSON::ParseJSONText(Nested(TJSON::MaxNesting + 1, '[', ']', "")));
    std::string mixed;
    for (int i = 0; i <= TJSON::MaxNesting; ++i) {
        mixed += i % 2 ? "{\"a\":" : "[";
    }
    EXPECT_FALSE(TJSON::ParseJSONText(mixed));
}

TEST(JsonNestingTest, HundredThousandOpeningBracketsGiveNone)
{
    EXPECT_FALSE(TJSON::ParseJSONText(std::string(100000, '[')));
    EXPECT_FALSE(TJSON::ParseJSONText(Nested(100000, '[', ']', "")));
}

TEST(JsonNestingTest, DeepBuiltArraysGenerateAndFreeWithoutRecursion)
{
    constexpr int Depth = 1000000;
    auto root = BuildDeep(Depth, false);
    const std::string text = TJSON::GenerateJSONText(root.get());
    EXPECT_EQ(text, Nested(Depth, '[', ']', "null"));
    root.reset();
}

TEST(JsonNestingTest, DeepBuiltObjectsGenerateAndFreeWithoutRecursion)
{
    constexpr int Depth = 300000;
    auto root = BuildDeep(Depth, true);
    const std::string text = TJSON::GenerateJSONText(root.get());
    EXPECT_EQ(text.size(), Depth * std::string_view("{\"k\":}").size() + 4);
    EXPECT_EQ(text.substr(0, 10), "{\"k\":{\"k\":");
    root.reset();
}

TEST(JsonNestingTest, DeepChainOfMemberRecordsFreesItsInnermostValue)
{
    int alive = 0;
    auto member = std::make_unique<TJSONobjectmethod>();
    member->MemberValue = std::make_unique<TCountedNull>(alive);
    for (int i = 0; i < 300000; ++i) {
        auto outer = std::make_unique<TJSONobjectmethod>();
        outer->MemberValue = std::move(member);
        member = std::move(outer);
    }
    ASSERT_EQ(alive, 1);
    member.reset();
    EXPECT_EQ(alive, 0);
}

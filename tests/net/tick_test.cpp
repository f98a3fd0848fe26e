#include "tick.h"

#include <gtest/gtest.h>

using namespace quorlane::net;

TEST(TickDistanceTest, EqualTicksAreZeroApart)
{
    EXPECT_EQ(TickDistance(123, 123), 0u);
}

TEST(TickDistanceTest, CountsForwardAndAcrossTheWrap)
{
    EXPECT_EQ(TickDistance(100, 250), 150u);
    EXPECT_EQ(TickDistance(4294967290u, 10), 16u);
}

TEST(TickDistanceTest, ClockMovesForward)
{
    const std::uint32_t first = TickMs();
    EXPECT_LT(TickDistance(first, TickMs()), 1000u);
}

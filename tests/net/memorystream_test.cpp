#include "memorystream.h"

#include <gtest/gtest.h>

using namespace quorlane::net;

TEST(MemoryStreamTest, WritesReadsAndSeeks)
{
    TMemoryStream stream;
    WriteStreamText(stream, "hello world");
    EXPECT_EQ(stream.Size(), 11);
    EXPECT_EQ(stream.Position(), 11);
    stream.SetPosition(6);
    EXPECT_EQ(ReadStreamText(stream, 100), "world");
    stream.SetPosition(0);
    WriteStreamText(stream, "J");
    EXPECT_EQ(stream.View(), "Jello world");
}

TEST(MemoryStreamTest, ReadIsCutToWhatTheStreamHolds)
{
    TMemoryStream stream;
    WriteStreamText(stream, "abc");
    stream.SetPosition(1);
    EXPECT_EQ(ReadStreamText(stream, 2), "bc");
    EXPECT_EQ(ReadStreamText(stream, 5), "");
    stream.SetSize(1);
    EXPECT_EQ(stream.Position(), 1);
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0);
}

TEST(MemoryStreamTest, GrowsKeepingWhatItHoldsAndFillsANewTailWithZeros)
{
    TMemoryStream stream;
    std::string expected;
    for (int piece = 0; piece < 5000; ++piece) {
        const std::string bytes(static_cast<std::size_t>(piece % 97 + 1), static_cast<char>(piece));
        WriteStreamText(stream, bytes);
        expected += bytes;
    }
    EXPECT_TRUE(stream.View() == expected);
    stream.SetSize(stream.Size() - 10);
    stream.SetSize(stream.Size() + 20);
    expected.resize(expected.size() - 10);
    expected.append(20, '\0');
    EXPECT_TRUE(stream.View() == expected);
}

#include "textparse.h"

#include <gtest/gtest.h>

using namespace quorlane::net;

TEST(TextCutTest, DelimiterThatDoesNotOccurLeavesWholeTextOnBothSides)
{
    EXPECT_EQ(TextBefore("Content-Length:10", " "), "Content-Length:10");
    EXPECT_EQ(TextAfter("Content-Length:10", " "), "Content-Length:10");
}

TEST(TextCutTest, CutsAtFirstOccurrence)
{
    EXPECT_EQ(TextBefore("a=b=c", "="), "a");
    EXPECT_EQ(TextAfter("a=b=c", "="), "b=c");
    EXPECT_EQ(TextAfter("key::value", "::"), "value");
    EXPECT_EQ(TextBefore("=x", "="), "");
}

TEST(TextCutTest, CutFieldTakesFieldsAndEmptiesTextAtTheLast)
{
    std::string text = " 1 . 2.3 ";
    EXPECT_EQ(CutField(text, "."), "1");
    EXPECT_EQ(text, "2.3");
    EXPECT_EQ(CutField(text, "."), "2");
    EXPECT_EQ(CutField(text, "."), "3");
    EXPECT_EQ(text, "");
}

TEST(TextTrimTest, TrimRemovesControlCharactersAndSpaces)
{
    EXPECT_EQ(Trim("\t\r\n a b \x01\x1f"), "a b");
    EXPECT_EQ(TrimRight("  a \r\n"), "  a");
    EXPECT_EQ(Trim(" \t "), "");
}

TEST(TextTrimTest, TrimSpacesKeepsOtherControlCharacters)
{
    EXPECT_EQ(TrimSpaces("  \ta\r  "), "\ta\r");
    EXPECT_EQ(TrimSpaces("   "), "");
}

TEST(LineBreakTest, FindsEveryKindOfLineEnd)
{
    EXPECT_EQ(FindLineBreak("abc").Position, -1);
    const TLineBreak crlf = FindLineBreak("ab\r\ncd");
    EXPECT_EQ(crlf.Position, 2);
    EXPECT_EQ(crlf.LineEnd, "\r\n");
    EXPECT_EQ(FindLineBreak("a\n\rb").LineEnd, "\n\r");
    EXPECT_EQ(FindLineBreak("a\nb").LineEnd, "\n");
    EXPECT_EQ(FindLineBreak("a\r\rb").LineEnd, "\r");
    EXPECT_EQ(FindLineBreak("a\n\nb").LineEnd, "\n");
}

TEST(LineBreakTest, LineEndAtTheLastCharacterStandsAlone)
{
    const TLineBreak lone = FindLineBreak("abc\r");
    EXPECT_EQ(lone.Position, 3);
    EXPECT_EQ(lone.LineEnd, "\r");
}

TEST(UnfoldHeaderTest, JoinsContinuationLinesWithOneSpace)
{
    const std::vector<std::string> lines{"X: a", "\tb", "c: d", ""};
    int index = 0;
    EXPECT_EQ(UnfoldHeaderLine(lines, index), "X: a b");
    EXPECT_EQ(index, 2);
    EXPECT_EQ(UnfoldHeaderLine(lines, index), "c: d");
    EXPECT_EQ(index, 3);
}

TEST(UnfoldHeaderTest, NeverJoinsTheLastEntry)
{
    const std::vector<std::string> lines{"X: a", " b"};
    int index = 0;
    EXPECT_EQ(UnfoldHeaderLine(lines, index), "X: a");
    EXPECT_EQ(index, 1);
}

TEST(UnfoldHeaderTest, ContinuesOnQuoteColonAndEqualsAndTrimsTheResult)
{
    const std::vector<std::string> lines{"A: 1  ", "\"q\"  ", ":c", "=e", "B: 2", ""};
    int index = 0;
    EXPECT_EQ(UnfoldHeaderLine(lines, index), "A: 1   \"q\" :c =e");
    EXPECT_EQ(index, 4);
}

TEST(UnfoldHeaderTest, EmptyLineIsNotJoined)
{
    const std::vector<std::string> lines{"", " x", ""};
    int index = 0;
    EXPECT_EQ(UnfoldHeaderLine(lines, index), "");
    EXPECT_EQ(index, 1);
}

TEST(ReplaceAllTest, ReplacesLeftToRightWithoutOverlap)
{
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("a\nb\n", "\n", "\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("", "a", "x"), "");
    EXPECT_EQ(ReplaceAll("abc", "abc", ""), "");
}

#include "memolinebreaks.h"

#include <gtest/gtest.h>

namespace {

std::string ConvertWhole(const std::string& text)
{
    TMemoLineBreaks lineBreaks;
    return lineBreaks.Convert(text);
}

TEST(MemoLineBreaksTest, LoneLineFeedsBecomeCrLf)
{
    EXPECT_EQ(ConvertWhole("one\ntwo\n"), "one\r\ntwo\r\n");
}

TEST(MemoLineBreaksTest, LoneCarriageReturnsBecomeCrLf)
{
    EXPECT_EQ(ConvertWhole("10 %\r20 %\r"), "10 %\r\n20 %\r\n");
}

TEST(MemoLineBreaksTest, CrLfStaysOneLineBreak)
{
    EXPECT_EQ(ConvertWhole("a\r\nb\r\n"), "a\r\nb\r\n");
}

TEST(MemoLineBreaksTest, MixedLineEndsEachGiveOneBreak)
{
    EXPECT_EQ(ConvertWhole("a\n\rb\r\r\nc\n\n"), "a\r\n\r\nb\r\n\r\nc\r\n\r\n");
}

TEST(MemoLineBreaksTest, TextWithoutLineBreaksIsUnchanged)
{
    EXPECT_EQ(ConvertWhole("Writing at 0x00004000... (12 %)"), "Writing at 0x00004000... (12 %)");
    EXPECT_EQ(ConvertWhole(""), "");
}

TEST(MemoLineBreaksTest, CrLfSplitBetweenPiecesGivesNoExtraBreak)
{
    TMemoLineBreaks lineBreaks;
    std::string text = lineBreaks.Convert("first\r");
    text += lineBreaks.Convert("\nsecond\r\n");
    EXPECT_EQ(text, "first\r\nsecond\r\n");
}

TEST(MemoLineBreaksTest, LineFeedAfterEarlierCarriageReturnPieceIsOwnBreak)
{
    TMemoLineBreaks lineBreaks;
    std::string text = lineBreaks.Convert("a\r");
    text += lineBreaks.Convert("b");
    text += lineBreaks.Convert("\n");
    EXPECT_EQ(text, "a\r\nb\r\n");
}

TEST(MemoLineBreaksTest, EverySplitGivesTheSameTextAsTheWhole)
{
    const std::string output = "boot\r\nline\nprogress 1\rprogress 2\r\n\n\rend";
    const std::string whole = ConvertWhole(output);
    for (size_t first = 0; first <= output.size(); ++first) {
        for (size_t second = first; second <= output.size(); ++second) {
            TMemoLineBreaks lineBreaks;
            std::string text = lineBreaks.Convert(output.substr(0, first));
            text += lineBreaks.Convert(output.substr(first, second - first));
            text += lineBreaks.Convert(output.substr(second));
            ASSERT_EQ(text, whole) << "split at " << first << " and " << second;
        }
    }
}

} // namespace

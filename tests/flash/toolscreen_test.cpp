// How a tool's output becomes the memo's lines: line ends split between pieces, lone carriage returns, and the
// progress lines of the real flashing tools as they print them into a pipe.

#include "recordingmemo.h"
#include "toolscreen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TLines = std::vector<std::string>;

class ToolScreenTest : public ::testing::Test
{
protected:
    void Write(const std::vector<std::string>& pieces)
    {
        for (const std::string& piece : pieces) {
            Screen.Write(piece);
        }
    }

    TRecordingMemo Memo{{"Prepare uploader..."}};
    TToolScreen Screen{Memo};
};

TEST_F(ToolScreenTest, LineEndsCountOnceWhereverThePiecesSplitThem)
{
    Write({"one\r", "\ntwo\nthree\r\n", "\n", "four"});
    EXPECT_EQ(Memo.Lines, (TLines{"Prepare uploader...", "one", "two", "three", "", "four"}));
}

TEST_F(ToolScreenTest, LoneCarriageReturnStartsTheLineAgain)
{
    Write({"Connecting...\r", "Connected to ESP8266\r\n", "\rChip is ESP8266EX\n", "kept\r\r", "\n", "abc\r", "X"});
    EXPECT_EQ(Memo.Lines, (TLines{"Prepare uploader...", "Connected to ESP8266", "Chip is ESP8266EX", "kept", "X"}));
}

TEST_F(ToolScreenTest, EachToolsProgressStepsShowAsOneLine)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> tools{
        {"esptool-ck",
         {"Uploading 2048 bytes from firmware.bin to flash at 0x00000000\n", ". [ 50% ]\n", ". [ 100% ]\n",
          "starting app without reboot\n"}},
        {"esptool 4",
         {"Compressed 2048 bytes to 100...\n", "Writing at 0x00000000... (50 %)\n",
          "Writing at 0x00000400... (100 %)\n", "Wrote 2048 bytes (100 compressed)\n"}},
        {"esptool 5",
         {"\rWriting at 0x00000000 [=>    ]  50.0% 1024/2048 bytes... \n",
          "\rWriting at 0x00000400 [======] 100.0% 2048/2048 bytes... \n", "Wrote 2048 bytes\n"}},
    };
    for (const auto& [tool, pieces] : tools) {
        TRecordingMemo memo;
        TToolScreen screen(memo);
        for (const std::string& piece : pieces) {
            screen.Write(piece);
        }
        ASSERT_EQ(memo.Lines.size(), pieces.size() - 1) << tool;
        EXPECT_NE(memo.Lines[memo.Lines.size() - 2].find("100"), std::string::npos) << tool;
        EXPECT_EQ(memo.Progress, (std::vector<int>{50, 100})) << tool;
    }
}

TEST_F(ToolScreenTest, ProgressLineAfterOtherOutputStartsALineOfItsOwn)
{
    Write({"Writing at 0x0... (50 %)\n", "Retrying\n", "Writing at 0x0... (", "60 %)\n"});
    EXPECT_EQ(Memo.Lines,
              (TLines{"Prepare uploader...", "Writing at 0x0... (50 %)", "Retrying", "Writing at 0x0... (60 %)"}));
}

TEST_F(ToolScreenTest, OverlongLineWraps)
{
    Write({std::string(TToolScreen::MaxLineLength + 10, 'x')});
    EXPECT_EQ(Memo.Lines,
              (TLines{"Prepare uploader...", std::string(TToolScreen::MaxLineLength, 'x'), std::string(10, 'x')}));
}

TEST(ProgressPercentTest, ReadsTheLastWholePercentageOfALine)
{
    EXPECT_EQ(ProgressPercent("Writing at 0x00004000... (12 %)"), 12);
    EXPECT_EQ(ProgressPercent("Writing [==>   ]  99.9% 1024/2048 bytes"), 99);
    EXPECT_EQ(ProgressPercent("......... [ 7% ]"), 7);
    EXPECT_EQ(ProgressPercent("50% then 60%"), 60);
    EXPECT_EQ(ProgressPercent("100%"), 100);
    EXPECT_FALSE(ProgressPercent("no percentage"));
    EXPECT_FALSE(ProgressPercent("% alone"));
    EXPECT_FALSE(ProgressPercent("gain 250%"));
    EXPECT_FALSE(ProgressPercent("id 12345%"));
}

} // namespace

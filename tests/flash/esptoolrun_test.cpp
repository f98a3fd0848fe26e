#include "consoletoolrunner.h"
#include "flashcommands.h"
#include "programdirectory.h"
#include "recordingmemo.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

using TLines = std::vector<std::string>;

// Runs the flashing tool's command lines against the stand-in tool that CMake places beside this
// test program, in the program's directory, as the window does.
class EsptoolRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FLog = FTempDir.File("record.json");
        ::setenv("ESPTOOL_STANDIN_LOG", FLog.c_str(), 1);
        ::setenv("ESPTOOL_STANDIN_DELAY", "0.1", 1);
        FSavedCurrent = fs::current_path();
    }
    void TearDown() override
    {
        fs::current_path(FSavedCurrent);
        ::unsetenv("ESPTOOL_STANDIN_LOG");
        ::unsetenv("ESPTOOL_STANDIN_DELAY");
        fs::remove(fs::path(ProgramDirectory()) / "init.bin");
        fs::remove(fs::path(ProgramDirectory()) / "firmware.bin");
    }

    static void WriteImage(const std::string& name, size_t size)
    {
        std::ofstream(fs::path(ProgramDirectory()) / name, std::ios::binary) << std::string(size, '\xA5');
    }

    nlohmann::json Record() const
    {
        std::ifstream log(FLog);
        return nlohmann::json::parse(log);
    }

    int Run(const std::string& command)
    {
        std::string output;
        return RunConsoleTool(command, Memo, ProgramDirectory(), output).Status;
    }

    const TFlashTool Tool{ProgramDirectory() + "/esptool", TFlashToolKind::EsptoolCk, ""};
    quorlane::testsupport::TTempDir FTempDir;
    fs::path FLog;
    fs::path FSavedCurrent;
    TRecordingMemo Memo;
};

TEST_F(EsptoolRunTest, InitializeRunsTheToolWithItsArgumentsInTheProgramDirectory)
{
    WriteImage("init.bin", 4096);
    // The program's current directory must not matter.
    fs::current_path(FTempDir.Path());
    EXPECT_EQ(Run(InitializeCommand(Tool, "/dev/ttyUSB0", "init.bin")), 0);

    const nlohmann::json record = Record();
    EXPECT_EQ(record["args"],
              nlohmann::json({"-cp", "/dev/ttyUSB0", "-bm", "dio", "-cd", "nodemcu", "-cf", "init.bin", "-v"}));
    EXPECT_EQ(record["cwd"], ProgramDirectory());
    EXPECT_EQ(record["image"]["size"], 4096);
}

TEST_F(EsptoolRunTest, HostilePortNameReachesTheToolAsOneArgument)
{
    WriteImage("init.bin", 16);
    const fs::path marker = FTempDir.File("injected");
    const std::string port = "/dev/tty USB0;touch " + marker.string() + ";$(touch " + marker.string() + ")";
    Run(InitializeCommand(Tool, port, "init.bin"));

    EXPECT_EQ(Record()["args"][1], port);
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(EsptoolRunTest, ProgressIsShownWhileTheToolRunsOnOneLine)
{
    WriteImage("firmware.bin", 800);
    std::vector<TLines> seen;
    Memo.OnUpdate = [&seen](const TRecordingMemo& memo) { seen.push_back(memo.Lines); };
    EXPECT_EQ(Run(FirmwareCommand(Tool, "/dev/ttyUSB0", "firmware.bin", {})), 0);

    // The first progress line is in the memo before the tool has finished.
    const auto firstProgress = std::find_if(seen.begin(), seen.end(), [](const TLines& lines) {
        return !lines.empty() && lines.back().starts_with("Writing at");
    });
    ASSERT_NE(firstProgress, seen.end());
    EXPECT_EQ(std::find(firstProgress->begin(), firstProgress->end(), "Leaving..."), firstProgress->end());
    EXPECT_EQ(Memo.Lines, (TLines{"esptool stand-in", "Connecting to /dev/ttyUSB0", "Writing at 0x00000320... (100 %)",
                                  "Wrote 800 bytes", "Leaving..."}));
    EXPECT_EQ(Memo.Progress, (std::vector<int>{12, 25, 37, 50, 62, 75, 87, 100}));
}

TEST_F(EsptoolRunTest, MissingImageFailsWithTheToolsComplaint)
{
    fs::remove(fs::path(ProgramDirectory()) / "firmware.bin");
    Memo = TRecordingMemo({"Prepare uploader..."});
    EXPECT_NE(Run(FirmwareCommand(Tool, "/dev/ttyUSB0", "firmware.bin", {})), 0);
    EXPECT_EQ(Memo.Lines, (TLines{"Prepare uploader...", "esptool stand-in", "Connecting to /dev/ttyUSB0",
                                  "Cannot open firmware.bin"}));
    EXPECT_TRUE(Record()["image"].is_null());
}

TEST_F(EsptoolRunTest, SilentStretchOfTheToolKeepsEventsFlowing)
{
    WriteImage("init.bin", 16);
    ::setenv("ESPTOOL_STANDIN_SILENCE", "1", 1);
    int roundsDuringSilence = 0;
    Memo.OnUpdate = [&roundsDuringSilence](const TRecordingMemo& memo) {
        if (memo.Lines.size() >= 2 && roundsDuringSilence == 0) {
            roundsDuringSilence = memo.EventRounds;
        }
    };
    Run(InitializeCommand(Tool, "/dev/ttyUSB0", "init.bin"));
    ::unsetenv("ESPTOOL_STANDIN_SILENCE");
    EXPECT_GE(roundsDuringSilence, 10);
}

} // namespace

#include "consoletoolrunner.h"
#include "flashcommands.h"
#include "programdirectory.h"
#include "recordingmemo.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

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

    std::string Run(const std::string& command)
    {
        std::string output;
        RunConsoleTool(command, Memo, ProgramDirectory(), output);
        return output;
    }

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
    Run(InitializeCommand("/dev/ttyUSB0"));

    const nlohmann::json record = Record();
    EXPECT_EQ(record["args"],
              nlohmann::json({"-cp", "/dev/ttyUSB0", "-bm", "dio", "-cd", "nodemcu", "-cf", "init.bin", "-v"}));
    EXPECT_EQ(record["cwd"], ProgramDirectory());
    EXPECT_EQ(record["image"]["size"], 4096);
}

TEST_F(EsptoolRunTest, FirmwareRunsTheToolWithItsArguments)
{
    WriteImage("firmware.bin", 10000);
    Run(FirmwareCommand("/dev/ttyACM0"));

    const nlohmann::json record = Record();
    EXPECT_EQ(record["args"], nlohmann::json({"-cp", "/dev/ttyACM0", "-bm", "dio", "-bf", "40", "-cd", "nodemcu", "-bz",
                                              "4M", "-cf", "firmware.bin", "-v"}));
    EXPECT_EQ(record["cwd"], ProgramDirectory());
    EXPECT_EQ(record["image"]["size"], 10000);
    EXPECT_NE(Memo.Text.find("Wrote 10000 bytes\r\n"), std::string::npos) << Memo.Text;
}

TEST_F(EsptoolRunTest, HostilePortNameReachesTheToolAsOneArgument)
{
    WriteImage("init.bin", 16);
    const fs::path marker = FTempDir.File("injected");
    const std::string port = "/dev/tty USB0;touch " + marker.string() + ";$(touch " + marker.string() + ")";
    Run(InitializeCommand(port));

    EXPECT_EQ(Record()["args"][1], port);
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(EsptoolRunTest, ProgressIsShownWhileTheToolRuns)
{
    WriteImage("init.bin", 800);
    std::vector<std::string> seen;
    Memo.OnAppend = [&seen](const std::string& text) { seen.push_back(text); };
    const std::string output = Run(InitializeCommand("/dev/ttyUSB0"));

    // The first progress line is in the memo before the tool has finished.
    ASSERT_GE(seen.size(), 3u);
    auto firstProgress = std::find_if(
        seen.begin(), seen.end(), [](const std::string& text) { return text.find("Writing at") != std::string::npos; });
    ASSERT_NE(firstProgress, seen.end());
    EXPECT_EQ(firstProgress->find("Leaving..."), std::string::npos);
    EXPECT_EQ(seen.back(), Memo.Text);
    EXPECT_EQ(
        Memo.Text.rfind("esptool stand-in\r\nConnecting to /dev/ttyUSB0\r\nWriting at 0x00000064... (12 %)\r\n", 0), 0u)
        << Memo.Text;
    EXPECT_NE(Memo.Text.find("Writing at 0x00000320... (100 %)\r\nWrote 800 bytes\r\nLeaving...\r\n"),
              std::string::npos)
        << Memo.Text;
    EXPECT_NE(output.find("(100 %)\nWrote 800 bytes\nLeaving...\n"), std::string::npos) << output;
}

TEST_F(EsptoolRunTest, MissingImageShowsTheToolsComplaint)
{
    fs::remove(fs::path(ProgramDirectory()) / "firmware.bin");
    Memo.Text = "Prepare uploader...\r\n";
    Run(FirmwareCommand("/dev/ttyUSB0"));
    EXPECT_NE(Memo.Text.find("Cannot open firmware.bin\r\n"), std::string::npos) << Memo.Text;
    EXPECT_EQ(Memo.Text.rfind("Prepare uploader...\r\nesptool stand-in\r\n", 0), 0u) << Memo.Text;
    EXPECT_TRUE(Record()["image"].is_null());
}

TEST_F(EsptoolRunTest, SilentStretchOfTheToolKeepsEventsFlowing)
{
    WriteImage("init.bin", 16);
    ::setenv("ESPTOOL_STANDIN_SILENCE", "1", 1);
    int roundsDuringSilence = 0;
    Memo.OnAppend = [this, &roundsDuringSilence](const std::string& text) {
        if (text.find("Connecting to") != std::string::npos && roundsDuringSilence == 0) {
            roundsDuringSilence = Memo.EventRounds;
        }
    };
    Run(InitializeCommand("/dev/ttyUSB0"));
    ::unsetenv("ESPTOOL_STANDIN_SILENCE");
    EXPECT_GE(roundsDuringSilence, 10);
}

} // namespace

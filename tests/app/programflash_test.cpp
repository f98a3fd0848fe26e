// The program itself, started as a user starts it and driven by the program driver (programdriver/), flashing the
// board simulator with Espressif's esptool 5: what is left when it is closed or signalled in the middle of a flash,
// and two instances that flash at once from one cache directory.

#include "flashpeers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

class ProgramFlashTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (std::string(QUORLANE_FLASHTOOL_V5).empty()) {
            GTEST_SKIP() << "the real flashing tools are not here: ../shared/thirdparty is absent";
        }
        Catalogue.emplace(Scratch);
    }

    // Starts the program on the board with the driver, reporting into the file named after name.
    std::unique_ptr<TServerProcess> Start(const TSimulatedBoard& board, const std::string& name,
                                          const std::vector<std::string>& settings = {})
    {
        std::vector<std::string> command{
            "/usr/bin/env",
            "-i",
            "HOME=" + Scratch.File("home"),
            "XDG_CACHE_HOME=" + Scratch.File("cache"),
            "PATH=" + std::string(QUORLANE_FLASHTOOL_V5) + ":/usr/bin:/bin",
            "QT_QPA_PLATFORM=offscreen",
            "QT_PLUGIN_PATH=" QUORLANE_DRIVER_PLUGINS,
            "QT_QPA_GENERIC_PLUGINS=quorlanedriver:" + Scratch.File(name + ".report"),
            "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu",
            "QUORLANE_EXTRA_PORTS=" + board.Path(),
            "QUORLANE_CATALOGUE_URL=" + Catalogue->Server().Address(),
            "SSL_CERT_FILE=" + Catalogue->Server().CAFile(),
        };
        command.insert(command.end(), settings.begin(), settings.end());
        command.push_back(QUORLANE_PROGRAM);
        return std::make_unique<TServerProcess>(command, Scratch.File(name + ".log"));
    }

    std::string Report(const std::string& name) const { return ReadWholeFile(Scratch.File(name + ".report")); }

    bool WaitForReport(const std::string& name, const std::string& entry) const
    {
        for (int wait = 0; wait < 1200; ++wait) {
            if (Report(name).find(entry + "\n") != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    TTempDir Scratch;
    std::optional<TDemoCatalogue> Catalogue;
};

TEST_F(ProgramFlashTest, StopAndQuitDuringAFlashEndsTheProgramAndItsTool)
{
    const TSimulatedBoard board(Scratch, {"--slow-flash", "0.3"});
    const auto program =
        Start(board, "close", {"QUORLANE_DRIVER_CLOSE_WHEN_FLASHING=1", "QUORLANE_DRIVER_ANSWER=Stop and quit"});
    ASSERT_TRUE(WaitForReport("close", "closing")) << Report("close");

    EXPECT_NE(program->WaitForExit(6000), -1) << "the program still ran 6 s after the user closed it";
    EXPECT_NE(Report("close").find("box: A flash is in progress. Stop it and quit?\n"), std::string::npos)
        << Report("close");
    EXPECT_EQ(Report("close").find("Upload firmware done!"), std::string::npos);
    EXPECT_FALSE(ProcessNames(board.Path()));
}

TEST_F(ProgramFlashTest, TerminationSignalDuringAFlashEndsTheProgramAndItsTool)
{
    const TSimulatedBoard board(Scratch, {"--slow-flash", "0.3"});
    const auto program = Start(board, "signal");
    ASSERT_TRUE(WaitForReport("signal", "flashing")) << Report("signal");
    program->Signal(SIGTERM);

    EXPECT_NE(program->WaitForExit(6000), -1) << "the program still ran 6 s after SIGTERM";
    EXPECT_EQ(Report("signal").find("box: "), std::string::npos) << Report("signal");
    EXPECT_FALSE(ProcessNames(board.Path()));
}

TEST_F(ProgramFlashTest, TwoInstancesFlashingAtOnceEachWriteTheirOwnImage)
{
    const TSimulatedBoard first(Scratch, {"--slow-flash", "0.05"}, "first");
    const TSimulatedBoard second(Scratch, {"--slow-flash", "0.05"}, "second");
    const auto one = Start(first, "one", {"QUORLANE_DRIVER_PROJECT=0"});
    const auto two = Start(second, "two", {"QUORLANE_DRIVER_PROJECT=1"});
    EXPECT_EQ(one->WaitForExit(180000), 0) << ReadWholeFile(Scratch.File("one.log"));
    EXPECT_EQ(two->WaitForExit(180000), 0) << ReadWholeFile(Scratch.File("two.log"));
    EXPECT_NE(Report("one").find("firmware: Upload firmware done!"), std::string::npos) << Report("one");
    EXPECT_NE(Report("two").find("firmware: Upload firmware done!"), std::string::npos) << Report("two");

    for (const auto& [board, position] : {std::pair{&first, 0u}, std::pair{&second, 1u}}) {
        const std::string& image = Catalogue->Image(Catalogue->Version(position));
        EXPECT_EQ(board->Flash().compare(0, image.size(), image), 0) << "board " << position + 1;
    }
    EXPECT_TRUE(fs::is_empty(Scratch.File("cache/quorlane")));
}

} // namespace

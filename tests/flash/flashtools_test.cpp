#include "consoletoolrunner.h"
#include "flashcommands.h"
#include "flashtool.h"
#include "recordingmemo.h"
#include "serverprocess.h"
#include "tempdir.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace quorlane::testsupport;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr const char* NoToolsHere = "the real flashing tools are not here: ../shared/thirdparty is absent";

// The real flashing tools, run with the program's own command lines against the board simulator's serial
// bootloader on a pseudo-terminal. The image is one of make-demo's, named after its version; the board's flash
// holds another, larger one before, so that a block written without its erase or an erase too wide shows.
class RealFlashToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(RunCommand({QUORLANE_MAKE_DEMO, Dir.File("demo")}, Dir.File("make-demo.out")), 0)
            << ReadWholeFile(Dir.File("make-demo.out"));
        Image = Dir.File("demo/images/1.2");
        Version = fs::path(Image).filename();
        fs::copy_file(Dir.File("demo/images/2.0.1"), Dir.File("flash.bin"));
        Before = ReadWholeFile(Dir.File("flash.bin"));
    }

    void StartBoard(const std::vector<std::string>& options = {})
    {
        std::vector<std::string> argv{QUORLANE_BOARDSIM, "--pty-file", Dir.File("pty"), "--flash",
                                      Dir.File("flash.bin")};
        argv.insert(argv.end(), options.begin(), options.end());
        Board = std::make_unique<TServerProcess>(argv, Dir.File("boardsim.out"));
        for (int wait = 0; wait < 200 && !fs::exists(Dir.File("pty")); ++wait) {
            std::this_thread::sleep_for(50ms);
        }
        std::ifstream(Dir.File("pty")) >> Port;
        ASSERT_FALSE(Port.empty()) << ReadWholeFile(Dir.File("boardsim.out"));
    }

    // The tool in directory as the program finds and identifies it.
    TFlashTool FindTool(const std::string& directory)
    {
        TFlashToolFinder finder([this](const std::string& command) {
            std::string output;
            TRecordingMemo memo;
            RunConsoleTool(command, memo, Dir.Path(), output);
            return output;
        });
        return finder.Find({directory}).value_or(TFlashTool{});
    }

    // Runs the command through the program's runner. A tool still running after limit fails the test; the board
    // is then stopped, which ends the tool.
    int RunTool(const std::string& command, std::chrono::seconds limit)
    {
        auto run = std::async(std::launch::async, [&] {
            TRecordingMemo memo;
            return RunConsoleTool(command, memo, Dir.Path(), Output);
        });
        if (run.wait_for(limit) != std::future_status::ready) {
            ADD_FAILURE() << "the tool still runs after " << limit.count() << " s";
            Board.reset();
        }
        return run.get();
    }

    // Opens the board's port as a program does and collects what the board sends until text has come.
    std::string ConsoleUntil(const std::string& text)
    {
        const int fd = ::open(Port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        std::string received;
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (fd >= 0 && received.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd ready{fd, POLLIN, 0};
            char buffer[4096];
            const ssize_t count = ::poll(&ready, 1, 100) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
            received.append(buffer, count > 0 ? count : 0);
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return received;
    }

    // Where the flash first differs from the image, or npos when it holds the image at offset 0.
    std::size_t FirstDifference() const
    {
        const std::string flash = ReadWholeFile(Dir.File("flash.bin"));
        const std::string image = ReadWholeFile(Image);
        for (std::size_t offset = 0; offset < image.size(); ++offset) {
            if (offset >= flash.size() || flash[offset] != image[offset]) {
                return offset;
            }
        }
        return std::string::npos;
    }

    // Whether the flash past the image still holds what it held before, erased bytes after the old firmware.
    bool RestUntouched() const
    {
        const std::string flash = ReadWholeFile(Dir.File("flash.bin"));
        const std::size_t start = fs::file_size(Image);
        return flash.compare(start, Before.size() - start, Before, start) == 0 &&
               flash.find_first_not_of('\xff', Before.size()) == std::string::npos;
    }

    TTempDir Dir;
    std::string Image;
    std::string Version;
    std::string Before;
    std::unique_ptr<TServerProcess> Board;
    std::string Port;
    std::string Output;
};

struct TToolCase
{
    const char* Name;
    const char* Directory;
    TFlashToolKind Kind;
};

class FlashWithEachToolTest : public RealFlashToolTest, public ::testing::WithParamInterface<TToolCase>
{
};

TEST_P(FlashWithEachToolTest, WritesTheImageExactlyAndTheBoardBootsIntoIt)
{
    if (*GetParam().Directory == '\0') {
        GTEST_SKIP() << NoToolsHere;
    }
    StartBoard();
    const TFlashTool tool = FindTool(GetParam().Directory);
    ASSERT_EQ(tool.Kind, GetParam().Kind) << tool.Path << ": " << tool.Identity;

    EXPECT_EQ(RunTool(FirmwareCommand(tool, Port, Image), 120s), 0) << Output;
    EXPECT_EQ(FirstDifference(), std::string::npos) << Output;
    EXPECT_TRUE(RestUntouched()) << "the flash past the image changed";
    const std::string console = ConsoleUntil("QUORLANE_JSON");
    EXPECT_NE(console.find("\r\nboard: firmware " + Version + "\r\n"), std::string::npos) << console;
}

INSTANTIATE_TEST_SUITE_P(RealTools, FlashWithEachToolTest,
                         ::testing::Values(TToolCase{"EsptoolCk", QUORLANE_FLASHTOOLS_CK, TFlashToolKind::EsptoolCk},
                                           TToolCase{"Espressif4", QUORLANE_FLASHTOOLS_V4, TFlashToolKind::Espressif},
                                           TToolCase{"Espressif5", QUORLANE_FLASHTOOLS_V5, TFlashToolKind::Espressif5}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace

// Flashing time: a 1 MiB image (the demo catalogue's) written onto the board simulator's bootloader by each real
// flashing tool, once run directly by the shell with its output thrown away and once through the window's
// flashing step, which shows the tool's output in the Firmware page's memo. Prints the median of each over a few
// rounds, their ratios, and the longest stall of the window's event loop while the tool ran.

#include "application.h"
#include "flashcommands.h"
#include "fmain.h"
#include "serverprocess.h"
#include "stallmeter.h"
#include "tempdir.h"

#include <QComboBox>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

constexpr int Rounds = 7;
// The demo catalogue's 1 MiB image.
constexpr char ImageVersion[] = "2.0.1";

struct TToolDirectory
{
    const char* Name;
    std::string Directory;
};

// The board simulator with its bootloader on, its pseudo-terminal's path read once it is there.
struct TSimulator
{
    explicit TSimulator(const fs::path& dir)
        : Process({"/usr/bin/python3", QUORLANE_BOARDSIM, "--pty-file", (dir / "pty").string(), "--flash",
                   (dir / "flash.bin").string()},
                  (dir / "boardsim.out").string())
    {
        for (int wait = 0; wait < 1000 && !fs::exists(dir / "pty"); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream(dir / "pty") >> Path;
    }

    TServerProcess Process;
    std::string Path;
};

// The median and the best of a run's times: noise only ever adds time, so the best shows the cost itself.
struct TTimes
{
    double Median = 0;
    double Best = 0;
};

TTimes Summary(std::vector<double> values)
{
    std::ranges::sort(values);
    return {values[values.size() / 2], values.front()};
}

// Lets the board go back to its console between two flashes.
void LetTheBoardRest()
{
    std::this_thread::sleep_for(std::chrono::seconds(3));
}

struct TFigures
{
    TTimes Direct;
    TTimes Program;
    qint64 LongestStall = 0;
    bool Failed = false;
};

TFigures Measure(const TToolDirectory& tool, const fs::path& work, const std::string& image, TFMain& window)
{
    TSimulator board(work);
    qputenv("QUORLANE_EXTRA_PORTS", QByteArray::fromStdString(board.Path));
    qputenv("PATH", QByteArray::fromStdString(tool.Directory + ":/usr/bin:/bin"));
    window.BComRefreshClick();
    window.CBComPort->setCurrentIndex(window.CBComPort->findData(QString::fromStdString(board.Path)));

    const std::optional<TFlashTool> found = window.FlashTools.Find({tool.Directory});
    const std::string direct = FirmwareCommand(*found, board.Path, image) + " >/dev/null 2>&1";

    TFigures figures;
    std::vector<double> directTimes;
    std::vector<double> programTimes;
    TStallMeter stalls;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        figures.Failed |= RunCommand({"/bin/sh", "-c", direct}, "/dev/null") != 0;
        directTimes.push_back(clock.nsecsElapsed() / 1e9);
        LetTheBoardRest();

        stalls.Start();
        clock.start();
        figures.Failed |= window.FlashFirmware(image, board.Path).End != TFlashRun::Done;
        programTimes.push_back(clock.nsecsElapsed() / 1e9);
        stalls.Stop();
        figures.LongestStall = std::max(figures.LongestStall, stalls.Longest);
        LetTheBoardRest();
    }
    figures.Direct = Summary(directTimes);
    figures.Program = Summary(programTimes);
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::vector<TToolDirectory> tools{{"esptool-ck 0.4.13", QUORLANE_FLASHTOOL_CK_DIR},
                                            {"esptool 4.8.1", QUORLANE_FLASHTOOL_V4_DIR},
                                            {"esptool 5.3.1", QUORLANE_FLASHTOOL_V5_DIR}};
    if (tools[0].Directory.empty()) {
        std::fprintf(stderr, "the real flashing tools are not here: ../shared/thirdparty is absent\n");
        return 1;
    }
    const TTempDir scratch;
    const fs::path work = scratch.Path();
    RunCommand({QUORLANE_MAKE_DEMO, (work / "catalogue").string()}, "/dev/null");
    const std::string image = (work / "catalogue" / "images" / ImageVersion).string();
    const auto imageSize = fs::file_size(image);

    TApplication application(argc, argv);
    TFMain window;
    window.show();

    std::printf("Flashing a %ju-byte image onto the simulated board, median and best of %d rounds\n",
                static_cast<std::uintmax_t>(imageSize), Rounds);
    std::printf("%-18s %19s %19s %15s %18s\n", "tool", "shell s", "program s", "ratio", "longest stall ms");
    bool failed = false;
    for (const TToolDirectory& tool : tools) {
        const TFigures figures = Measure(tool, work, image, window);
        failed |= figures.Failed;
        std::printf("%-18s %9.3f %9.3f %9.3f %9.3f %7.3f %7.3f %18lld%s\n", tool.Name, figures.Direct.Median,
                    figures.Direct.Best, figures.Program.Median, figures.Program.Best,
                    figures.Program.Median / figures.Direct.Median, figures.Program.Best / figures.Direct.Best,
                    static_cast<long long>(figures.LongestStall), figures.Failed ? "  (a flash failed)" : "");
    }
    return failed ? 1 : 0;
}

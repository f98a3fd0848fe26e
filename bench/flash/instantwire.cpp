// The window adds nothing to the tool: a 1 MiB image (the demo catalogue's) written onto the board simulator's
// bootloader, on its instant wire, by each real flashing tool, once run directly by the shell with its output thrown
// away and once through the window's flashing step, which shows the tool's output in the Firmware page's memo. Both
// run the same command at the rate the Firmware page chose. Prints the median and the best of each over a few
// rounds, their ratios, and the longest stall of the window's event loop while the tool ran.

#include "flashcommands.h"
#include "flashmodes.h"
#include "programdriver.h"
#include "simulatedboard.h"
#include "stallmeter.h"
#include "tempdir.h"

#include <QComboBox>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

constexpr int Rounds = 7;
// The demo catalogue's 1 MiB image.
constexpr char ImageVersion[] = "2.0.1";

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
    // Rounds in which the program ran the tool a second time, at the safe rate: no longer the bare tool's command.
    int FallBacks = 0;
    bool Failed = false;
};

TFigures Measure(const TToolDirectory& tool, const fs::path& work, const std::string& image, TFMain& window)
{
    const TSimulatedBoard board(work / tool.Name);
    TProgramDriver program(window);
    const std::optional<TFlashTool> found = program.Use(tool, board.Port());
    const std::string direct =
        FirmwareCommand(*found, board.Port(), image, {.Rate = program.ChosenRate()}) + " >/dev/null 2>&1";

    TFigures figures;
    std::vector<double> directTimes;
    std::vector<double> programTimes;
    TStallMeter stalls;
    for (int round = 0; round < Rounds; ++round) {
        directTimes.push_back(RunBare(direct, "/dev/null"));
        LetTheBoardRest();

        stalls.Start();
        programTimes.push_back(program.Flash(image, board.Port()));
        stalls.Stop();
        figures.FallBacks += program.ToolRuns() > 1 ? 1 : 0;
        figures.LongestStall = std::max(figures.LongestStall, stalls.Longest);
        LetTheBoardRest();
    }
    figures.Failed =
        std::ranges::min(directTimes) < 0 || std::ranges::min(programTimes) < 0 || !board.Holds(ReadWholeFile(image));
    figures.Direct = Summary(directTimes);
    figures.Program = Summary(programTimes);
    return figures;
}

} // namespace

int MeasureOnInstantWire(TFMain& window, const fs::path& work)
{
    const std::string image = (work / "catalogue" / "images" / ImageVersion).string();
    TProgramDriver(window).ChooseRate(0);
    std::printf("Flashing a %ju-byte image onto the simulated board on its instant wire, at %d baud as the window "
                "chooses by default, median and best of %d rounds\n",
                static_cast<std::uintmax_t>(fs::file_size(image)), TProgramDriver(window).ChosenRate(), Rounds);
    std::printf("%-18s %19s %19s %15s %18s\n", "tool", "shell s", "program s", "ratio", "longest stall ms");
    bool failed = false;
    for (const TToolDirectory& tool : BuiltFlashTools()) {
        const TFigures figures = Measure(tool, work, image, window);
        failed |= figures.Failed;
        std::printf("%-18s %9.3f %9.3f %9.3f %9.3f %7.3f %7.3f %18lld%s\n", tool.Name, figures.Direct.Median,
                    figures.Direct.Best, figures.Program.Median, figures.Program.Best,
                    figures.Program.Median / figures.Direct.Median, figures.Program.Best / figures.Direct.Best,
                    static_cast<long long>(figures.LongestStall), figures.Failed ? "  (a flash failed)" : "");
        if (figures.FallBacks > 0) {
            std::printf("%-18s the program ran the tool again at %d in %d of the rounds\n", "", SafeFlashRate,
                        figures.FallBacks);
        }
    }
    return failed ? 1 : 0;
}

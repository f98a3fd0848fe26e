// Flashing as users see it on a real line: the board simulator's timed wire, where bytes take 10 bit times at the
// port's rate and the chip takes its time to erase, program and hash. For the demo catalogue's 1 MiB image and each
// real tool: (a) the tool run bare at its own default rate, as other flashers run it; (b) the window's flashing step
// at its default rate; (c) the wire floor of (b). Then the fallback to the safe rate on an adapter that does not keep
// up, and Back up... at the default rate. The slow runs at 115200 use pieces of the image and are scaled, so that the
// whole measure takes a few minutes.

#include "flashcommands.h"
#include "flashmodes.h"
#include "flashrun.h"
#include "programdriver.h"
#include "shellquote.h"
#include "simulatedboard.h"
#include "tempdir.h"

#include <QElapsedTimer>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

constexpr char ImageVersion[] = "2.0.1";
// The chip's pace, given to the simulator, so that the fixed costs count with the very figures it works at: an
// ESP8266 with a common 4 MB flash.
constexpr double EraseSecondsPerMiB = 2.5;
constexpr double ProgramSecondsPerMiB = 3.0;
constexpr double Md5SecondsPerMiB = 1.7;
constexpr double MiB = 1024 * 1024;
constexpr std::int64_t SectorSize = 4096;
// The pieces of the image that the tools write at 115200: two sizes give a line to extend to the whole image.
constexpr std::int64_t SmallPiece = 64 * 1024;
constexpr std::int64_t LargePiece = 256 * 1024;
// What the fallback's target allows, and the backup's and the flash's against their floors.
constexpr double FallbackTarget = 5.0;
constexpr double FloorTarget = 1.3;
constexpr double SpeedupTarget = 0.35;

std::vector<std::string> TimedWire(const std::vector<std::string>& more = {})
{
    std::vector<std::string> options{"--wire",         "timed",
                                     "--erase-time",   std::to_string(EraseSecondsPerMiB),
                                     "--program-time", std::to_string(ProgramSecondsPerMiB),
                                     "--md5-time",     std::to_string(Md5SecondsPerMiB)};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

// One measured run: its seconds (negative when it failed), what went over the wire, and whether the board (or the
// backup file) holds what it should.
struct TRun
{
    double Seconds = -1;
    TWireTotal Wire;
    bool Right = false;

    bool Failed() const { return Seconds < 0 || !Right; }
};

struct TImage
{
    std::string Path;
    std::string Bytes;
};

TImage Piece(const TImage& image, std::int64_t size, const fs::path& work)
{
    TImage piece{(work / ("piece-" + std::to_string(size / 1024) + "k.bin")).string(),
                 image.Bytes.substr(0, static_cast<std::size_t>(size))};
    std::ofstream(piece.Path, std::ios::binary) << piece.Bytes;
    return piece;
}

// The tool's fixed costs for writing an image of size bytes: the chip's erase and programming (and its MD5 of the
// image, which esptool-ck does not ask for) at the simulator's pace, and the tool's start, timed as its version
// question. The sync and the stub's upload are bytes on the wire, in the floor already.
double FixedCosts(const TToolDirectory& tool, const TFlashTool& found, std::int64_t size, const fs::path& work)
{
    const double erased = static_cast<double>((size + SectorSize - 1) / SectorSize * SectorSize);
    const double chip = erased / MiB * EraseSecondsPerMiB + static_cast<double>(size) / MiB * ProgramSecondsPerMiB +
                        (tool.Espressif ? static_cast<double>(size) / MiB * Md5SecondsPerMiB : 0);
    QElapsedTimer clock;
    clock.start();
    RunCommand({"/bin/sh", "-c", ShellQuote(found.Path) + " version"}, (work / "version.out").string());
    return chip + static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

class TTimedMeasure
{
public:
    TTimedMeasure(TFMain& window, const fs::path& work) : FProgram(window), FWork(work / "timed") {}

    // (a) for one piece: the bare tool at its default rate.
    TRun Bare(const TFlashTool& found, const TImage& image)
    {
        const TSimulatedBoard board(Directory(), TimedWire());
        TRun run;
        run.Seconds = RunBare(FirmwareCommand(found, board.Port(), image.Path, {.Rate = SafeFlashRate}),
                              (FWork / "tool.out").string());
        run.Wire = Total(board.Sessions(1));
        run.Right = board.Holds(image.Bytes);
        return run;
    }

    // (b), and with Espressif's tools the backup of the board just written.
    std::pair<TRun, TRun> Program(const TToolDirectory& tool, const TImage& image, std::optional<TFlashTool>& found)
    {
        const fs::path directory = Directory();
        const TSimulatedBoard board(directory, TimedWire());
        found = FProgram.Use(tool, board.Port());
        FProgram.ChooseRate(0);
        TRun flash;
        flash.Seconds = FProgram.Flash(image.Path, board.Port());
        flash.Wire = Total(board.Sessions(1));
        flash.Right = board.Holds(image.Bytes);
        TRun backup;
        if (tool.Espressif) {
            // A file of its own: the dialog would ask before it replaced one.
            const std::string target = (directory / "backup.bin").string();
            backup.Seconds = FProgram.Backup(target);
            backup.Wire = Total(board.Sessions(2), flash.Wire.Sessions);
            backup.Right = ReadWholeFile(target) == board.Flash();
        }
        return {flash, backup};
    }

    // The window's flashing step with esptool 5 on an adapter that garbles every byte above the safe rate, at rate.
    TRun Slow(const TToolDirectory& tool, const TImage& image, int rate)
    {
        const TSimulatedBoard board(Directory(), TimedWire({"--max-rate", std::to_string(SafeFlashRate)}));
        FProgram.Use(tool, board.Port());
        FProgram.ChooseRate(rate);
        TRun run;
        run.Seconds = FProgram.Flash(image.Path, board.Port());
        const QStringList lines = FProgram.MemoLines();
        const bool fellBack = lines.contains(QString::fromStdString(RateFallbackText(rate, SafeFlashRate)));
        run.Wire = Total(board.Sessions(fellBack ? 2 : 1));
        run.Right = board.Holds(image.Bytes) && fellBack == (rate > SafeFlashRate);
        FProgram.ChooseRate(0);
        return run;
    }

private:
    // A directory of its own for each simulator, so that each has a fresh flash and wire log.
    fs::path Directory() { return FWork / std::to_string(++FBoards); }

    TProgramDriver FProgram;
    fs::path FWork;
    int FBoards = 0;
};

// (a) of the whole image from the two pieces: the line through (bytes on the wire, seconds) of both runs, extended to
// the bytes that the whole image took on the wire in (b). At the default rate the line is the bottleneck, so the time
// follows the bytes.
double Scaled(const TRun& small, const TRun& large, std::int64_t bytes)
{
    const double perByte = (large.Seconds - small.Seconds) / static_cast<double>(large.Wire.Bytes - small.Wire.Bytes);
    return large.Seconds + perByte * static_cast<double>(bytes - large.Wire.Bytes);
}

const char* Met(bool met)
{
    return met ? "met" : "NOT MET";
}

void PrintIntroduction(const TImage& image, int rate)
{
    std::printf("Flashing on the simulator's timed wire: each byte 10 bit times at the port's rate, each reply after "
                "1-5 ms; the chip erases at %.1f s, programs at %.1f s and hashes at %.1f s per MiB.\n",
                EraseSecondsPerMiB, ProgramSecondsPerMiB, Md5SecondsPerMiB);
    std::printf("Image: the demo catalogue's %s, %zu bytes.\n", ImageVersion, image.Bytes.size());
    std::printf("(a) the tool run bare at its own default rate, %d baud, as other flashers run it. Measured with the "
                "image's first %lld and %lld bytes\n    and scaled: the line through the two runs (seconds against "
                "bytes on the wire) extended to the bytes the whole image took in (b).\n",
                SafeFlashRate, static_cast<long long>(SmallPiece), static_cast<long long>(LargePiece));
    std::printf("(b) the window's flashing step at its default rate, %d baud (Espressif's tools get --baud, "
                "esptool-ck -cb), keeping the board's settings.\n",
                rate);
    std::printf("(c) the wire floor of (b): its bytes on the wire at the rates they travelled at, the sync and the "
                "stub's upload at %d included.\n",
                SafeFlashRate);
    std::printf("fixed: what the floor leaves out: the chip's erase and programming of the image and its MD5 "
                "(Espressif's tools), at the pace above,\n    and the tool's start (its version question, timed). The "
                "stub erases and programs while the next block arrives, so (b) needs less than (c) + fixed.\n\n");
    std::printf("%-18s %8s %8s %8s %8s %8s %8s %8s %8s %13s\n", "tool", "(a) s", "64K s", "256K s", "(b) s", "(c) s",
                "fixed s", "(b)/(a)", "(b)/(c)", "(b)/((c)+fix)");
}

struct TToolFigures
{
    const TToolDirectory* Tool;
    double Bare;
    double Program;
    double FloorAndFixed;
    TRun Backup;
};

} // namespace

int MeasureOnTimedWire(TFMain& window, const fs::path& work)
{
    QElapsedTimer whole;
    whole.start();
    const std::string path = (work / "catalogue" / "images" / ImageVersion).string();
    const TImage image{path, ReadWholeFile(path)};
    const TImage small = Piece(image, SmallPiece, work);
    const TImage large = Piece(image, LargePiece, work);
    TTimedMeasure measure(window, work);
    TProgramDriver(window).ChooseRate(0);
    PrintIntroduction(image, TProgramDriver(window).ChosenRate());

    bool failed = false;
    const std::vector<TToolDirectory> tools = BuiltFlashTools();
    std::vector<TToolFigures> figures;
    for (const TToolDirectory& tool : tools) {
        std::optional<TFlashTool> found;
        const auto [flash, backup] = measure.Program(tool, image, found);
        const TRun smallRun = measure.Bare(*found, small);
        const TRun largeRun = measure.Bare(*found, large);
        const double bare = Scaled(smallRun, largeRun, flash.Wire.Bytes);
        const double fixed = FixedCosts(tool, *found, static_cast<std::int64_t>(image.Bytes.size()), work);
        const bool toolFailed =
            flash.Failed() || smallRun.Failed() || largeRun.Failed() || (tool.Espressif && backup.Failed());
        failed |= toolFailed;
        figures.push_back({&tool, bare, flash.Seconds, flash.Wire.Floor + fixed, backup});
        std::printf("%-18s %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.3f %8.3f %13.3f%s\n", tool.Name, bare,
                    smallRun.Seconds, largeRun.Seconds, flash.Seconds, flash.Wire.Floor, fixed, flash.Seconds / bare,
                    flash.Seconds / flash.Wire.Floor, flash.Seconds / (flash.Wire.Floor + fixed),
                    toolFailed ? "  (a run failed)" : "");
        std::fflush(stdout);
    }

    std::printf("\nTargets:\n");
    for (const TToolFigures& tool : figures) {
        if (tool.Tool->Espressif) {
            std::printf("  (b)/(a) <= %.2f, %-14s %.3f  %s\n", SpeedupTarget, tool.Tool->Name, tool.Program / tool.Bare,
                        Met(tool.Program <= SpeedupTarget * tool.Bare));
        }
    }
    for (const TToolFigures& tool : figures) {
        std::printf("  (b) <= %.1f x ((c) + fixed), %-14s %.2f s <= %.2f s  %s\n", FloorTarget, tool.Tool->Name,
                    tool.Program, FloorTarget * tool.FloorAndFixed,
                    Met(tool.Program <= FloorTarget * tool.FloorAndFixed));
    }
    std::fflush(stdout);

    const TToolDirectory& newest = tools.back();
    const TRun fallback = measure.Slow(newest, large, DefaultFlashRate);
    const TRun safe = measure.Slow(newest, large, SafeFlashRate);
    failed |= fallback.Failed() || safe.Failed();
    std::printf("\nFallback: %s, an adapter that garbles every byte above %d baud (--max-rate %d), the image's first "
                "%lld bytes:\n",
                newest.Name, SafeFlashRate, SafeFlashRate, static_cast<long long>(LargePiece));
    std::printf("  the program at %d, failing and then running the tool again at %d: %.2f s (%d sessions, %lld bytes "
                "garbled)\n",
                DefaultFlashRate, SafeFlashRate, fallback.Seconds, fallback.Wire.Sessions,
                static_cast<long long>(fallback.Wire.Garbled));
    std::printf("  the program at %d from the start: %.2f s\n", SafeFlashRate, safe.Seconds);
    std::printf("  the fallback costs %.2f s more (target <= %.0f s: %s); the failed run ends before any of the image "
                "is sent, so this does not grow with the image\n",
                fallback.Seconds - safe.Seconds, FallbackTarget,
                Met(fallback.Seconds - safe.Seconds <= FallbackTarget));

    std::printf(
        "\nBack up... (the window reads the whole %lld-byte flash) at %d baud, timed from its first line in the "
        "memo to its outcome:\n",
        static_cast<long long>(FlashSize), DefaultFlashRate);
    for (const TToolFigures& tool : figures) {
        if (tool.Tool->Espressif) {
            const TRun& backup = tool.Backup;
            std::printf("  %-14s %.2f s, wire floor %.2f s (%lld bytes), %.3f of it (target <= %.1f: %s)%s\n",
                        tool.Tool->Name, backup.Seconds, backup.Wire.Floor, static_cast<long long>(backup.Wire.Bytes),
                        backup.Seconds / backup.Wire.Floor, FloorTarget,
                        Met(backup.Seconds <= FloorTarget * backup.Wire.Floor),
                        backup.Failed() ? "  (the backup failed)" : "");
        }
    }
    std::printf("\nThe timed measure took %.0f s.\n", static_cast<double>(whole.nsecsElapsed()) / 1e9);
    return failed ? 1 : 0;
}

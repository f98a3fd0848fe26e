// Flashing time: a 1 MiB image (the demo catalogue's) written onto the board simulator's bootloader by each real
// flashing tool, once run directly by the shell with its output thrown away and once through the window's
// flashing step, which shows the tool's output in the Firmware page's memo. Prints the median of each over a few
// rounds, their ratio, and the longest stall of the window's event loop while the tool ran.

#include "application.h"
#include "firmwarefile.h"
#include "flashcommands.h"
#include "fmain.h"
#include "programdirectory.h"
#include "stallmeter.h"

#include <QComboBox>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

constexpr int Rounds = 3;
// The demo catalogue's 1 MiB image.
constexpr char ImageVersion[] = "2.0.1";

struct TToolDirectory
{
    const char* Name;
    std::string Directory;
};

pid_t Spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

int WaitExit(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The board simulator with its bootloader on, stopped by its process id.
class TSimulator
{
public:
    explicit TSimulator(const fs::path& dir)
    {
        const fs::path ptyFile = dir / "pty";
        FPid = Spawn({"/usr/bin/python3", QUORLANE_BOARDSIM, "--pty-file", ptyFile.string(), "--flash",
                      (dir / "flash.bin").string()});
        for (int wait = 0; wait < 1000 && !fs::exists(ptyFile); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream(ptyFile) >> Path;
    }
    ~TSimulator()
    {
        ::kill(FPid, SIGTERM);
        WaitExit(FPid);
    }
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    std::string Path;

private:
    pid_t FPid = -1;
};

double Median(std::vector<double> values)
{
    std::ranges::sort(values);
    return values[values.size() / 2];
}

// Lets the board go back to its console between two flashes.
void LetTheBoardRest()
{
    std::this_thread::sleep_for(std::chrono::seconds(3));
}

struct TFigures
{
    double Direct = 0;
    double Program = 0;
    qint64 LongestStall = 0;
    bool Failed = false;
};

TFigures Measure(const TToolDirectory& tool, const fs::path& work, TFMain& window)
{
    TSimulator board(work);
    qputenv("QUORLANE_EXTRA_PORTS", QByteArray::fromStdString(board.Path));
    qputenv("PATH", QByteArray::fromStdString(tool.Directory + ":/usr/bin:/bin"));
    window.BComRefreshClick();
    window.CBComPort->setCurrentIndex(window.CBComPort->findData(QString::fromStdString(board.Path)));

    const std::optional<TFlashTool> found = window.FlashTools.Find({tool.Directory});
    const std::string direct = "cd '" + ProgramDirectory() + "' && " +
                               FirmwareCommand(*found, board.Path, FirmwareFileName) + " >/dev/null 2>&1";

    TFigures figures;
    std::vector<double> directTimes;
    std::vector<double> programTimes;
    TStallMeter stalls;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        figures.Failed |= WaitExit(Spawn({"/bin/sh", "-c", direct})) != 0;
        directTimes.push_back(clock.nsecsElapsed() / 1e9);
        LetTheBoardRest();

        stalls.Start();
        clock.start();
        figures.Failed |= !window.FlashFirmware();
        programTimes.push_back(clock.nsecsElapsed() / 1e9);
        stalls.Stop();
        figures.LongestStall = std::max(figures.LongestStall, stalls.Longest);
        LetTheBoardRest();
    }
    figures.Direct = Median(directTimes);
    figures.Program = Median(programTimes);
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
    const fs::path work = fs::temp_directory_path() / ("quorlane-flashbench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::system(("'" QUORLANE_MAKE_DEMO "' '" + (work / "catalogue").string() + "'").c_str());
    fs::copy_file(work / "catalogue" / "images" / ImageVersion, fs::path(ProgramDirectory()) / FirmwareFileName,
                  fs::copy_options::overwrite_existing);
    const auto imageSize = fs::file_size(work / "catalogue" / "images" / ImageVersion);

    TApplication application(argc, argv);
    TFMain window;
    window.show();

    std::printf("Flashing a %ju-byte image onto the simulated board, median of %d rounds\n",
                static_cast<std::uintmax_t>(imageSize), Rounds);
    std::printf("%-18s %10s %10s %8s %18s\n", "tool", "shell s", "program s", "ratio", "longest stall ms");
    bool failed = false;
    for (const TToolDirectory& tool : tools) {
        const TFigures figures = Measure(tool, work, window);
        failed |= figures.Failed;
        std::printf("%-18s %10.2f %10.2f %8.3f %18lld%s\n", tool.Name, figures.Direct, figures.Program,
                    figures.Program / figures.Direct, static_cast<long long>(figures.LongestStall),
                    figures.Failed ? "  (a flash failed)" : "");
    }
    fs::remove(fs::path(ProgramDirectory()) / FirmwareFileName);
    fs::remove_all(work);
    return failed ? 1 : 0;
}

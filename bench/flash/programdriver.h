#pragma once

#include "flashtool.h"
#include "fmain.h"

#include <optional>
#include <string>
#include <vector>

// A real flashing tool, alone in its directory.
struct TToolDirectory
{
    const char* Name;
    std::string Directory;
    bool Espressif;
};

// The tools built into the build tree; empty directories when their sources were absent.
std::vector<TToolDirectory> BuiltFlashTools();

// Drives the window as the benchmark measures it: one tool on PATH, the board's port chosen, and each flash or backup
// a first one for its adapter, so that the program runs the very command the bare tool is given.
class TProgramDriver
{
public:
    explicit TProgramDriver(TFMain& window) : FWindow(window) {}

    // Puts tool alone on PATH, lists the port and chooses it; the tool, asked who it is (once for each tool, as the
    // window asks), or none.
    std::optional<TFlashTool> Use(const TToolDirectory& tool, const std::string& port);
    // Chooses the flashing rate in the Firmware page; the window's default when rate is 0.
    void ChooseRate(int rate);
    int ChosenRate() const;
    // The window's flashing step with the image; its seconds, or a negative number when it did not end Done.
    double Flash(const std::string& image, const std::string& port);
    // Back up... answered with target; the seconds from the backup's first memo line to its outcome, or a negative
    // number when it failed.
    double Backup(const std::string& target);
    // What the Firmware page showed in its last flow, and how often the tool ran in it (twice after a fallback).
    QStringList MemoLines() const;
    int ToolRuns() const;

private:
    void ForgetAdapters();

    TFMain& FWindow;
};

// Runs a command line with the shell, its output into log; its seconds, or a negative number when it failed.
double RunBare(const std::string& command, const std::string& log);

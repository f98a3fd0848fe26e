#pragma once

#include "flashtool.h"

#include <cstdint>
#include <string>

// The board's flash memory: no image is larger, and a backup reads all of it.
inline constexpr std::int64_t FlashSize = 4 * 1024 * 1024;

// The rates the program offers for a flash, slowest first. The slowest is every tool's default and what every
// adapter keeps up with; a flash that fails faster is tried again at it.
inline constexpr int FlashRates[] = {115200, 230400, 460800, 921600};
inline constexpr int SafeFlashRate = FlashRates[0];
inline constexpr int DefaultFlashRate = 460800;

// How a firmware image is written.
struct TFlashOptions
{
    int Rate = SafeFlashRate;
    // Erase the whole flash first (the board's settings go too), rather than only the image's sectors.
    bool EraseAll = false;
    // Leave the flash alone when it already holds the image (a tool that can tell: see CanSkipFlashed).
    bool SkipFlashed = false;
};

// Whether the tool can read the board's flash (esptool-ck cannot), and whether it can skip an image the flash already
// holds (Espressif's esptool from 5.2 on).
bool CanReadFlash(const TFlashTool& tool);
bool CanSkipFlashed(const TFlashTool& tool);

// The flashing tool's command lines in the tool's own language: the initializer image and the firmware image written
// at address 0 in dio mode, the firmware with 40 MHz and a 4 MB flash chip at the given rate, and the backup that
// reads the whole flash into a file. The tool, the port and the files are quoted for the shell when they need it.
std::string InitializeCommand(const TFlashTool& tool, const std::string& port, const std::string& image);
std::string FirmwareCommand(const TFlashTool& tool, const std::string& port, const std::string& image,
                            const TFlashOptions& options);
std::string BackupCommand(const TFlashTool& tool, const std::string& port, const std::string& file, int rate);

#pragma once

#include "flashtool.h"

#include <cstdint>
#include <string>

// The board's flash memory: no image is larger.
inline constexpr std::int64_t FlashSize = 4 * 1024 * 1024;

// The flashing tool's command lines in the tool's own language: the initializer image and the firmware image
// written at address 0 in dio mode, the firmware with 40 MHz and a 4 MB flash chip. The tool, the port and the
// image are quoted for the shell when they need it.
std::string InitializeCommand(const TFlashTool& tool, const std::string& port, const std::string& image);
std::string FirmwareCommand(const TFlashTool& tool, const std::string& port, const std::string& image);

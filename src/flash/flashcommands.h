#pragma once

#include <string>

// Command lines of the flashing tool, run in the program's directory where "init.bin" and
// "firmware.bin" lie. The port name is quoted for the shell when it needs it.
std::string InitializeCommand(const std::string& port);
std::string FirmwareCommand(const std::string& port);

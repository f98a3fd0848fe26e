#pragma once

#include <string>

// Command lines of the flashing tool, run in the directory where "firmware.bin" lies. The initializer image is named
// as the tool finds it from there. The port name and the image are quoted for the shell when they need it.
std::string InitializeCommand(const std::string& port, const std::string& image = "init.bin");
std::string FirmwareCommand(const std::string& port);

#include "flashcommands.h"

#include "shellquote.h"

std::string InitializeCommand(const std::string& port, const std::string& image)
{
    return "esptool -cp " + ShellQuote(port) + " -bm dio -cd nodemcu -cf " + ShellQuote(image) + " -v";
}

std::string FirmwareCommand(const std::string& port)
{
    return "esptool -cp " + ShellQuote(port) + " -bm dio -bf 40 -cd nodemcu -bz 4M -cf firmware.bin -v";
}

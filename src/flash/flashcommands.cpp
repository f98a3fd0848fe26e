#include "flashcommands.h"

#include "shellquote.h"

std::string InitializeCommand(const std::string& port)
{
    return "esptool -cp " + ShellQuote(port) + " -bm dio -cd nodemcu -cf init.bin -v";
}

std::string FirmwareCommand(const std::string& port)
{
    return "esptool -cp " + ShellQuote(port) + " -bm dio -bf 40 -cd nodemcu -bz 4M -cf firmware.bin -v";
}

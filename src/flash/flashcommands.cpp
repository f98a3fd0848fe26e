#include "flashcommands.h"

#include "shellquote.h"

namespace {

std::string Start(const TFlashTool& tool, const std::string& port)
{
    const std::string portOption = tool.Kind == TFlashToolKind::EsptoolCk ? " -cp " : " --port ";
    return ShellQuote(tool.Path) + portOption + ShellQuote(port);
}

} // namespace

std::string InitializeCommand(const TFlashTool& tool, const std::string& port, const std::string& image)
{
    switch (tool.Kind) {
    case TFlashToolKind::Espressif:
        return Start(tool, port) + " write_flash --flash_mode dio 0x0 " + ShellQuote(image);
    case TFlashToolKind::Espressif5:
        return Start(tool, port) + " write-flash --flash-mode dio 0x0 " + ShellQuote(image);
    case TFlashToolKind::EsptoolCk:
        break;
    }
    return Start(tool, port) + " -bm dio -cd nodemcu -cf " + ShellQuote(image) + " -v";
}

std::string FirmwareCommand(const TFlashTool& tool, const std::string& port, const std::string& image)
{
    switch (tool.Kind) {
    case TFlashToolKind::Espressif:
        return Start(tool, port) + " write_flash --flash_mode dio --flash_freq 40m --flash_size 4MB 0x0 " +
               ShellQuote(image);
    case TFlashToolKind::Espressif5:
        return Start(tool, port) + " write-flash --flash-mode dio --flash-freq 40m --flash-size 4MB 0x0 " +
               ShellQuote(image);
    case TFlashToolKind::EsptoolCk:
        break;
    }
    return Start(tool, port) + " -bm dio -bf 40 -cd nodemcu -bz 4M -cf " + ShellQuote(image) + " -v";
}

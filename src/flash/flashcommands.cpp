#include "flashcommands.h"

#include "shellquote.h"

namespace {

// The tool, the port and, when it is not the tool's default, the rate: options that come before the command.
std::string Start(const TFlashTool& tool, const std::string& port, int rate = SafeFlashRate)
{
    const bool ck = tool.Kind == TFlashToolKind::EsptoolCk;
    std::string start = ShellQuote(tool.Path) + (ck ? " -cp " : " --port ") + ShellQuote(port);
    if (rate != SafeFlashRate) {
        start += (ck ? " -cb " : " --baud ") + std::to_string(rate);
    }
    return start;
}

} // namespace

bool CanReadFlash(const TFlashTool& tool)
{
    return tool.Kind != TFlashToolKind::EsptoolCk;
}

bool CanSkipFlashed(const TFlashTool& tool)
{
    return tool.Kind == TFlashToolKind::Espressif5 && (tool.Major > 5 || tool.Minor >= 2);
}

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

std::string FirmwareCommand(const TFlashTool& tool, const std::string& port, const std::string& image,
                            const TFlashOptions& options)
{
    const std::string erase = options.EraseAll ? " --erase-all" : "";
    const std::string skip = options.SkipFlashed && CanSkipFlashed(tool) ? " --skip-flashed" : "";
    switch (tool.Kind) {
    case TFlashToolKind::Espressif:
        return Start(tool, port, options.Rate) + " write_flash --flash_mode dio --flash_freq 40m --flash_size 4MB" +
               erase + " 0x0 " + ShellQuote(image);
    case TFlashToolKind::Espressif5:
        return Start(tool, port, options.Rate) + " write-flash --flash-mode dio --flash-freq 40m --flash-size 4MB" +
               erase + skip + " 0x0 " + ShellQuote(image);
    case TFlashToolKind::EsptoolCk:
        break;
    }
    // esptool-ck acts on its options in order: the whole flash is erased before the image is written.
    return Start(tool, port, options.Rate) + " -bm dio -bf 40 -cd nodemcu -bz 4M" + (options.EraseAll ? " -ce" : "") +
           " -cf " + ShellQuote(image) + " -v";
}

std::string BackupCommand(const TFlashTool& tool, const std::string& port, const std::string& file, int rate)
{
    const std::string command = tool.Kind == TFlashToolKind::Espressif5 ? " read-flash" : " read_flash";
    return Start(tool, port, rate) + command + " 0x0 " + std::to_string(FlashSize) + " " + ShellQuote(file);
}

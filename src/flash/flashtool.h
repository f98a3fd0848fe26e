#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The flashing tool and the language it speaks. Users have esptool-ck (the C tool, "-cp PORT ... -cf FILE") or
// Espressif's esptool, whose commands and options are words with underscores up to version 4 ("write_flash
// --flash_mode") and with dashes from version 5 on ("write-flash --flash-mode").
enum class TFlashToolKind {
    EsptoolCk,
    Espressif,
    Espressif5,
};

struct TFlashTool
{
    std::string Path;
    TFlashToolKind Kind = TFlashToolKind::EsptoolCk;
    // How the tool names itself ("esptool.py v4.8.1"); empty when it did not say.
    std::string Identity;
    // The version it names, 0.0 when it did not.
    int Major = 0;
    int Minor = 0;
};

// The names the flashing tool goes by, in the order they are looked for in each directory.
inline constexpr const char* FlashToolNames[] = {"esptool", "esptool.py"};

// Where the flashing tool is looked for, in order: the program's directory, then the absolute directories of the
// PATH value (the shell's own search path when it is not set); relative entries depend on the current directory,
// which the program does not choose, and are left out.
std::vector<std::string> FlashToolDirectories(const std::string& programDirectory, const char* pathValue);

// The first executable file with one of FlashToolNames, directory by directory; empty when there is none.
std::string FindFlashTool(const std::vector<std::string>& directories);

// The tool's kind and identity from its answers: versionOutput to "TOOL version", which Espressif's esptool answers
// with its name and version; bannerOutput to "TOOL -v", which esptool-ck answers with its banner. A tool that
// answers neither way is taken to speak esptool-ck's language, the one the program's command lines began with.
TFlashTool ReadFlashTool(const std::string& path, const std::string& versionOutput, const std::string& bannerOutput);

// The line that tells the user which tool a flash uses.
std::string FlashToolLine(const TFlashTool& tool);

// What the user reads when no tool was found: where and under which names it was looked for, and how to get one.
std::string MissingFlashToolText(const std::vector<std::string>& directories);

// How long a tool may take to say who it is.
inline constexpr std::chrono::seconds IdentityTimeLimit{5};

// What the user reads when the tool at path did not answer the question who it is within IdentityTimeLimit.
std::string SilentFlashToolText(const std::string& path);

// Finds the flashing tool and asks each tool it finds who it is once, for as long as the file stays the same.
class TFlashToolFinder
{
public:
    // Runs a command for at most IdentityTimeLimit and returns its output; none when it did not end in time (or the
    // question was called off). The finder's questions to a tool go through it.
    using TRun = std::function<std::optional<std::string>(const std::string& command)>;

    explicit TFlashToolFinder(TRun run) : FRun(std::move(run)) {}

    // The tool and its language; none when no tool was found. Throws std::runtime_error (SilentFlashToolText) when
    // the tool did not answer: a tool that cannot say who it is is not trusted with the board.
    std::optional<TFlashTool> Find(const std::vector<std::string>& directories);

private:
    struct TKnownTool
    {
        std::filesystem::file_time_type Modified;
        TFlashTool Tool;
    };

    TRun FRun;
    std::map<std::string, TKnownTool> FKnown;
};

#include "flashtool.h"

#include "shellquote.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// The shell's own search path, used when PATH is not set.
constexpr char DefaultPath[] = "/bin:/usr/bin";

bool IsExecutableFile(const std::string& path)
{
    struct stat status
    {
    };
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string_view Trimmed(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        return {};
    }
    return line.substr(start, line.find_last_not_of(" \t\r") + 1 - start);
}

std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(Trimmed(text.substr(0, end)));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

struct TVersion
{
    int Major = 0;
    int Minor = 0;
};

// "5.3.1" (and "0.4.13"): its major and minor numbers; none when it does not start with two numbers.
std::optional<TVersion> ReadVersion(std::string_view text)
{
    TVersion version;
    const char* end = text.data() + text.size();
    const std::from_chars_result major = std::from_chars(text.data(), end, version.Major);
    if (major.ec != std::errc() || major.ptr == end || *major.ptr != '.') {
        return std::nullopt;
    }
    if (std::from_chars(major.ptr + 1, end, version.Minor).ec != std::errc()) {
        return std::nullopt;
    }
    return version;
}

// Espressif's esptool names itself on a line of its own: "esptool.py v4.8.1", "esptool v5.3.1". Returns its version,
// none when the line is not such a name.
std::optional<TVersion> EspressifVersion(std::string_view line)
{
    for (std::string_view name : {"esptool.py v", "esptool v"}) {
        if (!line.starts_with(name)) {
            continue;
        }
        const std::string_view version = line.substr(name.size());
        if (version.find_first_of(" \t") != std::string_view::npos) {
            return std::nullopt;
        }
        return ReadVersion(version);
    }
    return std::nullopt;
}

// esptool-ck's banner: "esptool v0.4.13 - (c) 2014 ..."; its identity is the part before the dash.
std::string_view EsptoolCkIdentity(std::string_view line)
{
    const std::size_t dash = line.find(" - ");
    if (!line.starts_with("esptool v") || dash == std::string_view::npos) {
        return {};
    }
    return line.substr(0, dash);
}

std::string Joined(const std::vector<std::string>& parts, std::string_view separator)
{
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : std::string(separator)) + part;
    }
    return text;
}

} // namespace

std::vector<std::string> FlashToolDirectories(const std::string& programDirectory, const char* pathValue)
{
    std::vector<std::string> directories{programDirectory};
    std::istringstream path(pathValue != nullptr ? pathValue : DefaultPath);
    for (std::string directory; std::getline(path, directory, ':');) {
        if (directory.starts_with('/')) {
            directories.push_back(directory);
        }
    }
    return directories;
}

std::string FindFlashTool(const std::vector<std::string>& directories)
{
    for (const std::string& directory : directories) {
        for (const char* name : FlashToolNames) {
            const std::string candidate = (fs::path(directory) / name).string();
            if (IsExecutableFile(candidate)) {
                return candidate;
            }
        }
    }
    return {};
}

TFlashTool ReadFlashTool(const std::string& path, const std::string& versionOutput, const std::string& bannerOutput)
{
    for (std::string_view line : Lines(versionOutput)) {
        if (const std::optional<TVersion> version = EspressifVersion(line); version && version->Major > 0) {
            return {path, version->Major >= 5 ? TFlashToolKind::Espressif5 : TFlashToolKind::Espressif,
                    std::string(line), version->Major, version->Minor};
        }
    }
    for (std::string_view line : Lines(bannerOutput)) {
        if (const std::string_view identity = EsptoolCkIdentity(line); !identity.empty()) {
            const TVersion version = ReadVersion(identity.substr(std::size("esptool v") - 1)).value_or(TVersion{});
            return {path, TFlashToolKind::EsptoolCk, std::string(identity), version.Major, version.Minor};
        }
    }
    return {path, TFlashToolKind::EsptoolCk, {}};
}

std::string FlashToolLine(const TFlashTool& tool)
{
    if (tool.Identity.empty()) {
        return "Flashing tool: " + tool.Path + " (it did not name itself; given esptool-ck's command line)";
    }
    return "Flashing tool: " + tool.Identity + " (" + tool.Path + ")";
}

std::string MissingFlashToolText(const std::vector<std::string>& directories)
{
    std::vector<std::string> names(std::begin(FlashToolNames), std::end(FlashToolNames));
    return "No flashing tool found: looked for " + Joined(names, " and ") + " in " + Joined(directories, ", ") +
           ". Install Espressif's esptool (\"pipx install esptool\" or \"pip install --user esptool\") or put "
           "esptool beside the program, then try again.";
}

std::string SilentFlashToolText(const std::string& path)
{
    return fs::path(path).filename().string() + " at " + path + " did not say which version it is within " +
           std::to_string(IdentityTimeLimit.count()) + " s";
}

std::optional<TFlashTool> TFlashToolFinder::Find(const std::vector<std::string>& directories)
{
    const std::string path = FindFlashTool(directories);
    if (path.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::file_time_type modified = fs::last_write_time(path, error);
    const auto known = FKnown.find(path);
    if (known != FKnown.end() && known->second.Modified == modified) {
        return known->second.Tool;
    }
    const std::string quoted = ShellQuote(path);
    const auto ask = [&](const std::string& question) {
        std::optional<std::string> answer = FRun(quoted + " " + question);
        if (!answer) {
            throw std::runtime_error(SilentFlashToolText(path));
        }
        return *answer;
    };
    const std::string versionOutput = ask("version");
    TFlashTool tool = ReadFlashTool(path, versionOutput, {});
    if (tool.Identity.empty()) {
        tool = ReadFlashTool(path, versionOutput, ask("-v"));
    }
    FKnown[path] = {modified, tool};
    return tool;
}

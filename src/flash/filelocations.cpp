#include "filelocations.h"

#include "programdirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char ProgramFolder[] = "quorlane";

// The home directory from the environment, or from the user database when HOME is unset.
std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return home;
    }
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr ? user->pw_dir : "/";
}

// A base directory variable of the desktop's directory convention; relative values are invalid there and ignored.
std::string BaseDirectory(const char* variable, const char* fallbackUnderHome)
{
    const char* value = std::getenv(variable);
    if (value != nullptr && fs::path(value).is_absolute()) {
        return value;
    }
    return (fs::path(HomeDirectory()) / fallbackUnderHome).string();
}

} // namespace

std::string UserCacheDirectory()
{
    return (fs::path(BaseDirectory("XDG_CACHE_HOME", ".cache")) / ProgramFolder).string();
}

std::string UserConfigDirectory()
{
    return (fs::path(BaseDirectory("XDG_CONFIG_HOME", ".config")) / ProgramFolder).string();
}

std::string SessionLogDirectory()
{
    return (fs::path(BaseDirectory("XDG_STATE_HOME", ".local/state")) / ProgramFolder / "logs").string();
}

std::vector<std::string> InitImageDirectories()
{
    const std::string program = ProgramDirectory();
    return {program, (fs::path(BaseDirectory("XDG_DATA_HOME", ".local/share")) / ProgramFolder).string(),
            (fs::path(program) / QUORLANE_DATA_FROM_PROGRAM).lexically_normal().string()};
}

std::string FindInitImage(const std::vector<std::string>& directories)
{
    for (const std::string& directory : directories) {
        const fs::path image = fs::path(directory) / InitImageName;
        std::error_code error;
        if (fs::is_regular_file(image, error)) {
            return image.string();
        }
    }
    return {};
}

std::vector<std::string> InitImageMissingLines(const std::vector<std::string>& directories)
{
    std::vector<std::string> lines{std::string("Initializer image ") + InitImageName + " not found. Looked in:"};
    for (const std::string& directory : directories) {
        lines.push_back("  " + directory);
    }
    return lines;
}

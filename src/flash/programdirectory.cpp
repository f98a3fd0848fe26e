#include "programdirectory.h"

#include <filesystem>

std::string ProgramDirectory()
{
    // The link names the executable itself, whatever the current directory or argv[0] say.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

#pragma once

#include <string>
#include <vector>

// Where the program keeps its files. A build tree keeps everything beside the program; an installed program, whose
// directory the user cannot write, keeps its downloads in the user's cache directory and finds the initializer image
// in the user's or the system's data directory.

// Name of the initializer image that Initialize writes onto the board.
inline constexpr char InitImageName[] = "init.bin";

// The directory that receives the downloaded image and in which the flashing tool runs: the program's own directory
// while this process may create files in it, otherwise the per-user cache directory, created when missing. Throws
// std::runtime_error with the directory and the system's reason when that cannot be created.
std::string WorkDirectory();

// $XDG_CACHE_HOME/quorlane, or ~/.cache/quorlane when the variable is unset, empty or not an absolute path.
std::string UserCacheDirectory();

// The directories searched for the initializer image, in order: the program's own, $XDG_DATA_HOME/quorlane (or
// ~/.local/share/quorlane), then the installed data directory (share/quorlane beside the program's bin directory).
std::vector<std::string> InitImageDirectories();

// The full path of the initializer image in the first of the directories that holds it; empty when none does.
std::string FindInitImage(const std::vector<std::string>& directories);

// What Initialize shows when no directory holds the image: the image's name and every directory searched.
std::vector<std::string> InitImageMissingLines(const std::vector<std::string>& directories);

// The image as the flashing tool is given it: its bare name when it lies in the tool's working directory (as in a
// build tree), otherwise its full path.
std::string ImageArgument(const std::string& image, const std::string& workDirectory);

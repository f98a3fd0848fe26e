#pragma once

#include <string>
#include <vector>

// Where the program keeps and finds its files: images and the flashing tool's runs in the user's cache directory
// (imagefile.h), the initializer image beside the program or in the user's or the system's data directory, the
// session logs in the user's state directory.

// Name of the initializer image that Initialize writes onto the board.
inline constexpr char InitImageName[] = "init.bin";

// $XDG_CACHE_HOME/quorlane, or ~/.cache/quorlane when the variable is unset, empty or not an absolute path.
std::string UserCacheDirectory();

// $XDG_CONFIG_HOME/quorlane, or ~/.config/quorlane, likewise: where the user's choices are kept between runs.
std::string UserConfigDirectory();

// Where the session logs go: $XDG_STATE_HOME/quorlane/logs, or ~/.local/state/quorlane/logs when the variable is
// unset, empty or not an absolute path.
std::string SessionLogDirectory();

// The directories searched for the initializer image, in order: the program's own, $XDG_DATA_HOME/quorlane (or
// ~/.local/share/quorlane), then the installed data directory (share/quorlane beside the program's bin directory).
std::vector<std::string> InitImageDirectories();

// The full path of the initializer image in the first of the directories that holds it; empty when none does.
std::string FindInitImage(const std::vector<std::string>& directories);

// What Initialize shows when no directory holds the image: the image's name and every directory searched.
std::vector<std::string> InitImageMissingLines(const std::vector<std::string>& directories);

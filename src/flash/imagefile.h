#pragma once

#include <string>
#include <string_view>

// Images are written into a directory that only the user can write, one new file per flash, and the flashing tool
// is given that file's path: the bytes checked before the flash are the bytes flashed, whatever other programs or
// other instances of this one do meanwhile.

// The directory of the image files and of the flashing tool's runs: the user's cache directory for the program
// (UserCacheDirectory), created with mode 0700 when missing. An existing one must be a directory of this user's,
// not a symbolic link; write access for anyone else is taken away. Throws std::runtime_error saying what is wrong.
std::string PrivateDirectory();

// One image written for one flash: a new file of its own in the directory, held locked while it lives and removed
// with it. Files of earlier instances that no longer run (a program that was killed) are removed first.
class TImageFile
{
public:
    // Throws std::runtime_error with the file's name and the system's reason when it cannot be written.
    TImageFile(const std::string& directory, std::string_view bytes);
    ~TImageFile();
    TImageFile(const TImageFile&) = delete;
    TImageFile& operator=(const TImageFile&) = delete;

    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    int FFd = -1;
};

// Writes bytes to path as a whole or not at all: into path.part first, renamed when complete. Throws
// std::runtime_error with the file's name and the system's reason.
void SaveWholeFile(const std::string& path, std::string_view bytes);

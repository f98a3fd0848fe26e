#pragma once

#include <string>

namespace quorlane::testsupport {

// A fresh directory under the system's temporary directory, removed with everything in it on destruction.
class TTempDir
{
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }
    // Writes a file in the directory and returns its path.
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string FPath;
};

std::string ReadWholeFile(const std::string& path);

} // namespace quorlane::testsupport

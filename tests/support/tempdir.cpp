#include "tempdir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <stdlib.h>

namespace quorlane::testsupport {

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorlane-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    FPath = pattern;
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

std::string TTempDir::Write(const std::string& name, const std::string& content) const
{
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace quorlane::testsupport

#include "imagefile.h"

#include "filelocations.h"
#include "writeall.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr char ImagePrefix[] = "image-";
constexpr char ImageSuffix[] = ".bin";
// A file younger than this may belong to an instance that has created it and not yet locked it.
constexpr std::chrono::minutes StaleAfter(1);

[[noreturn]] void Refuse(const std::string& directory, const std::string& reason)
{
    throw std::runtime_error("Cannot keep images in " + directory + ": " + reason);
}

[[noreturn]] void Fail(const std::string& path, int error)
{
    throw std::runtime_error("Cannot write " + path + ": " + std::strerror(error));
}

bool IsImageName(const std::string& name)
{
    return name.starts_with(ImagePrefix) && name.ends_with(ImageSuffix);
}

// Removes the image files that no instance holds locked and that are old enough not to be just created.
void RemoveStaleImages(const std::string& directory)
{
    std::error_code error;
    const auto oldest = fs::file_time_type::clock::now() - StaleAfter;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        if (!IsImageName(entry.path().filename().string()) || entry.last_write_time(error) > oldest) {
            continue;
        }
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(entry.path().c_str());
        }
        ::close(fd);
    }
}

} // namespace

std::string PrivateDirectory()
{
    const std::string directory = UserCacheDirectory();
    std::error_code error;
    fs::create_directories(fs::path(directory).parent_path(), error);
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        Refuse(directory, std::strerror(errno));
    }
    struct stat status
    {
    };
    if (::lstat(directory.c_str(), &status) != 0) {
        Refuse(directory, std::strerror(errno));
    }
    if (S_ISLNK(status.st_mode)) {
        Refuse(directory, "it is a symbolic link");
    }
    if (!S_ISDIR(status.st_mode)) {
        Refuse(directory, "it is not a directory");
    }
    if (status.st_uid != ::geteuid()) {
        Refuse(directory, "it belongs to another user (uid " + std::to_string(status.st_uid) + ")");
    }
    if ((status.st_mode & 077) != 0 && ::chmod(directory.c_str(), 0700) != 0) {
        Refuse(directory, std::string("others may write it and its mode cannot be changed: ") + std::strerror(errno));
    }
    return directory;
}

TImageFile::TImageFile(const std::string& directory, std::string_view bytes)
{
    RemoveStaleImages(directory);
    std::string name = directory + "/" + ImagePrefix + "XXXXXX" + ImageSuffix;
    FFd = ::mkostemps(name.data(), static_cast<int>(std::strlen(ImageSuffix)), O_CLOEXEC);
    if (FFd < 0) {
        Fail(name, errno);
    }
    FPath = name;
    ::flock(FFd, LOCK_EX);
    if (!WriteAll(FFd, bytes) || ::fsync(FFd) != 0) {
        const int error = errno;
        ::unlink(FPath.c_str());
        ::close(FFd);
        Fail(FPath, error);
    }
}

TImageFile::~TImageFile()
{
    ::unlink(FPath.c_str());
    ::close(FFd);
}

void SaveWholeFile(const std::string& path, std::string_view bytes)
{
    const std::string part = path + ".part";
    const int handle = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (handle < 0) {
        Fail(part, errno);
    }
    const bool written = WriteAll(handle, bytes) && ::fsync(handle) == 0;
    const int writeError = errno;
    const bool closed = ::close(handle) == 0;
    if (!written || !closed || ::rename(part.c_str(), path.c_str()) != 0) {
        const int error = !written ? writeError : errno;
        ::unlink(part.c_str());
        Fail(path, error);
    }
}

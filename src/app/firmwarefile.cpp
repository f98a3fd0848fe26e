#include "firmwarefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void Fail(const std::string& path, int error)
{
    throw std::runtime_error("Cannot write " + path + ": " + std::strerror(error));
}

bool WriteAll(int handle, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(handle, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

void SaveFirmwareFile(const std::string& directory, std::string_view bytes)
{
    const std::string target = directory + "/" + FirmwareFileName;
    std::string temporary = target + ".XXXXXX";
    const int handle = ::mkstemp(temporary.data());
    if (handle < 0) {
        Fail(target, errno);
    }
    const bool written = ::fchmod(handle, 0644) == 0 && WriteAll(handle, bytes) && ::fsync(handle) == 0;
    const int writeError = errno;
    const bool closed = ::close(handle) == 0;
    if (!written || !closed || ::rename(temporary.data(), target.c_str()) != 0) {
        const int error = !written ? writeError : errno;
        ::unlink(temporary.data());
        Fail(target, error);
    }
}

#include "ptyboard.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::runtime_error SystemError(const std::string& what)
{
    return std::runtime_error(what + ": errno " + std::to_string(errno));
}

} // namespace

TPtyBoard::TPtyBoard()
{
    FMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) {
        throw SystemError("pseudo-terminal");
    }
    FPath = ptsname(FMaster);
    fcntl(FMaster, F_SETFL, fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    // Holding the slave open keeps the master readable while the window has the port closed; raw mode keeps
    // the board's CR LF as they are.
    FSlave = open(FPath.c_str(), O_RDWR | O_NOCTTY);
    if (FSlave < 0) {
        throw SystemError("open " + FPath);
    }
    termios settings{};
    tcgetattr(FSlave, &settings);
    cfmakeraw(&settings);
    tcsetattr(FSlave, TCSANOW, &settings);
}

TPtyBoard::~TPtyBoard()
{
    Vanish();
}

void TPtyBoard::Write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(FMaster, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (errno == EAGAIN) {
            if (WhileFull) {
                WhileFull();
            }
            pollfd room{FMaster, POLLOUT, 0};
            poll(&room, 1, 5);
        } else if (errno != EAGAIN && errno != EINTR) {
            throw SystemError("write to the pseudo-terminal");
        }
    }
}

std::string TPtyBoard::ReadUntil(char terminator, int timeoutMs)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received.find(terminator) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{FMaster, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[4096];
        const ssize_t n = read(FMaster, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
}

std::string TPtyBoard::ReadFor(int timeoutMs)
{
    return ReadUntil('\0', timeoutMs);
}

void TPtyBoard::Vanish()
{
    if (FSlave >= 0) {
        close(FSlave);
        FSlave = -1;
    }
    if (FMaster >= 0) {
        close(FMaster);
        FMaster = -1;
    }
}

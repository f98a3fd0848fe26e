#include "freeport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace quorlane::testsupport {

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

int FreeLoopbackPort()
{
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (handle < 0 || bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (handle >= 0) {
            close(handle);
        }
        throw std::runtime_error("no free loopback port");
    }
    close(handle);
    return ntohs(address.sin_port);
}

bool WaitForPort(int port, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(port);
        const bool open = connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        close(handle);
        if (open) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace quorlane::testsupport

#include "loopbackpeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace quorlane::testsupport {

TLoopbackPeer::TLoopbackPeer(THandler handler, int connections)
{
    FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FListener < 0 || bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(FListener, 16) != 0 || getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (FListener >= 0) {
            close(FListener);
        }
        throw std::runtime_error("scripted peer cannot listen");
    }
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this, handler = std::move(handler), connections] {
        for (int i = 0; i < connections; ++i) {
            const int client = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                return;
            }
            const int on = 1;
            setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            handler(client);
            close(client);
        }
    });
}

TLoopbackPeer::~TLoopbackPeer()
{
    shutdown(FListener, SHUT_RDWR); // ends a pending accept
    Join();
    close(FListener);
}

void TLoopbackPeer::Join()
{
    if (FThread.joinable()) {
        FThread.join();
    }
}

void TLoopbackPeer::SendAll(int handle, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(handle, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

std::string TLoopbackPeer::ReceiveAll(int handle, int timeoutMs)
{
    std::string received;
    char buffer[65536];
    pollfd fd{handle, POLLIN, 0};
    while (poll(&fd, 1, timeoutMs) > 0) {
        const ssize_t n = recv(handle, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
}

} // namespace quorlane::testsupport

// Feeds arbitrary bytes as a server's answer into THTTPSend::PerformRequest. The server end is a loopback
// connection accepted inside the socket's connect report, so each run is one thread and needs no timing: the
// answer is written and the sending side shut before the client reads, so every read ends at the data's end.

#include "httpsend.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quorlane::net;

namespace {

// More than a loopback socket buffer could block the writer, since the client reads only after the connect.
constexpr std::size_t LargestAnswer = 65536;

struct TListener
{
    int Handle = -1;
    int Port = 0;
};

TListener& Listener()
{
    static TListener listener = [] {
        TListener made;
        made.Handle = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (made.Handle < 0 || bind(made.Handle, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(made.Handle, 16) != 0 ||
            getsockname(made.Handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::abort();
        }
        made.Port = ntohs(address.sin_port);
        return made;
    }();
    return listener;
}

// Accepts the client's connection and gives it the whole answer followed by the end of the stream.
int Answer(const std::uint8_t* data, std::size_t size)
{
    const int peer = accept(Listener().Handle, nullptr, nullptr);
    if (peer < 0) {
        std::abort();
    }
    for (std::size_t sent = 0; sent < size;) {
        const ssize_t n = send(peer, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    shutdown(peer, SHUT_WR);
    return peer;
}

// A reset instead of an orderly close keeps thousands of runs from filling the port range with waiting states.
void Abort(int peer)
{
    const linger immediate{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &immediate, sizeof(immediate));
    close(peer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    size = std::min(size, LargestAnswer);
    int peer = -1;
    {
        THTTPSend http;
        http.Timeout = 2000;
        http.Sock.OnStatus = [&](TBlockSocket*, THookSocketReason reason, const std::string&) {
            if (reason == HR_Connect && peer < 0) {
                peer = Answer(data, size);
            }
        };
        const std::string url = "http://127.0.0.1:" + std::to_string(Listener().Port) + "/api/firmware/";
        http.PerformRequest("GET", url);
    }
    if (peer >= 0) {
        Abort(peer);
    }
    return 0;
}

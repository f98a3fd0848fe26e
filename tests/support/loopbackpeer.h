#pragma once

#include <functional>
#include <string>
#include <thread>

namespace quorlane::testsupport {

// A scripted TCP peer on 127.0.0.1 at a free port: each accepted connection is handed to the handler on the peer's
// own thread and closed when the handler returns. For answers no real server sends on purpose.
class TLoopbackPeer
{
public:
    using THandler = std::function<void(int handle)>;

    explicit TLoopbackPeer(THandler handler, int connections = 1);
    ~TLoopbackPeer();
    TLoopbackPeer(const TLoopbackPeer&) = delete;
    TLoopbackPeer& operator=(const TLoopbackPeer&) = delete;

    int Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    // Waits until every connection was served.
    void Join();

    static void SendAll(int handle, const std::string& bytes);
    // Everything the other side sends until it closes its sending direction (or timeoutMs passes without data).
    static std::string ReceiveAll(int handle, int timeoutMs = 5000);

private:
    int FListener = -1;
    int FPort = 0;
    std::thread FThread;
};

} // namespace quorlane::testsupport

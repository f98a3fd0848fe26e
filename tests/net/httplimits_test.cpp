// What THTTPSend bounds (a line, the head, the body, the time of a request) and how its owner cancels a request.

#include "freeport.h"
#include "httpsend.h"
#include "scriptedpeer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

using namespace quorlane::net;
using namespace std::chrono_literals;

namespace {

// Regression: a server could send header lines, one endless line or a body without end, and the client held all
// of it (100,000 header lines took 240 MB). Each now fails at its limit, having read little more than the limit.
TEST(HttpLimitsTest, OversizeAnswersFailAtTheLimitWithBoundedMemory)
{
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    struct TCase
    {
        std::string Answer;
        std::string Endless;
        std::int64_t MaxBodySize;
        std::string Failure;
        std::int64_t MostBytesRead;
    };
    const std::vector<TCase> cases{
        {ok, "X-Filler: " + std::string(1000, 'f') + "\r\n", 0, "the server's headers exceed 256 KiB",
         THTTPSend::HeadLimit + 2 * THTTPSend::LineLimit},
        {ok + "X-Long: ", std::string(1000, 'l'), 0, "the server sent a line longer than 64 KiB",
         3 * THTTPSend::LineLimit},
        {ok + "Content-Length: 10485760\r\n\r\n", std::string(1000, 'b'), 1 << 20, "the answer exceeds the 1 MiB limit",
         THTTPSend::LineLimit},
        {ok + "\r\n", std::string(1000, 'b'), 1 << 20, "the answer exceeds the 1 MiB limit",
         (1 << 20) + 2 * THTTPSend::LineLimit},
        {ok + "Transfer-Encoding: chunked\r\n\r\n", "3e8\r\n" + std::string(1000, 'c') + "\r\n", 300000,
         "the answer exceeds the 300000-byte limit", 300000 + 2 * THTTPSend::LineLimit},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Failure + " after " + c.Answer);
        TScriptedPeer peer(c.Answer, {.Endless = c.Endless});
        THTTPSend http;
        http.MaxBodySize = c.MaxBodySize;
        EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
        EXPECT_EQ(http.FailureText(), c.Failure);
        EXPECT_EQ(http.Sock.ErrorNumber, 10055);
        EXPECT_LE(http.Sock.BytesReceived, c.MostBytesRead);
        EXPECT_EQ(http.Document.Size(), 0);
    }
}

// Regression: the time-out restarted with every packet, so a server sending a byte every 10 ms held a request for as
// long as it liked. The deadline covers the whole request; the read reports keep coming until it ends.
TEST(HttpLimitsTest, TricklingServerMeetsTheDeadline)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n" + std::string(2000, 't'), {.Piece = 1});
    int reads = 0; // declared first: the socket reports its close while it is destroyed
    THTTPSend http;
    http.Timeout = 5000;
    http.Deadline = 700ms;
    http.Sock.OnStatus = [&reads](TBlockSocket*, THookSocketReason reason, const std::string&) {
        reads += reason == HR_ReadCount ? 1 : 0;
    };
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(http.Failure(), hfDeadline);
    EXPECT_EQ(http.FailureText(), "the request took longer than 700 ms");
    EXPECT_EQ(http.Sock.ErrorNumber, 10060);
    EXPECT_EQ(http.Document.Size(), 0);
    EXPECT_GT(reads, 10);
    // The whole answer takes the peer over 20 s.
    EXPECT_LT(took, 5s);
}

// A listener whose queue is full: a further connection stays unanswered, as behind a firewall that drops packets.
class TFullListener
{
public:
    TFullListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(FListener, reinterpret_cast<sockaddr*>(&address), length);
        listen(FListener, 0);
        getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        connect(FQueued, reinterpret_cast<sockaddr*>(&address), length);
    }
    ~TFullListener()
    {
        close(FQueued);
        close(FListener);
    }
    TFullListener(const TFullListener&) = delete;
    TFullListener& operator=(const TFullListener&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }

private:
    int FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int FQueued = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int FPort = 0;
};

// The window stays responsive through the heartbeat while a server sends nothing, whether the connection, the TLS
// handshake or the answer is what hangs, and cancels from there.
TEST(HttpLimitsTest, HeartbeatBeatsWhileASilentServerHoldsTheRequestAndCancels)
{
    const TFullListener unanswered;
    const TScriptedPeer silent("", {.Silent = true});
    const std::string handshake = "https://127.0.0.1:" + std::to_string(silent.Port()) + "/";
    // Where each request stops: whether the connection was made, and whether the request went out.
    for (const auto& [url, connected, sent] :
         {std::tuple{unanswered.Url(), false, false}, std::tuple{handshake, true, false},
          std::tuple{silent.Url(), true, true}}) {
        SCOPED_TRACE(url);
        int beats = 0; // declared first: the socket may still wait while it is destroyed
        THTTPSend http;
        http.Sock.HeartbeatRate = 20;
        http.Sock.OnHeartbeat = [&beats](TBlockSocket* sender) { sender->StopFlag = ++beats == 5; };
        EXPECT_FALSE(http.PerformRequest("GET", url));
        EXPECT_EQ(beats, 5);
        EXPECT_EQ(http.Failure(), hfCancelled);
        EXPECT_EQ(http.FailureText(), "cancelled");
        EXPECT_EQ(http.Sock.ErrorNumber, 10053) << http.Sock.ErrorText;
        EXPECT_EQ(http.Sock.RemotePortNumber() != 0, connected);
        EXPECT_EQ(http.Sock.BytesSent != 0, sent);
    }
}

} // namespace

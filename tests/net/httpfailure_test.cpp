// What THTTPSend leaves behind when an exchange fails: result, status code, Headers, Document and the socket error.

#include "freeport.h"
#include "httpsend.h"
#include "scriptedpeer.h"
#include "sslnone.h"

#include <gtest/gtest.h>

using namespace quorlane::net;
using quorlane::testsupport::FreeLoopbackPort;

namespace {

TEST(HttpFailureTest, RefusedConnectionKeepsTheRequest)
{
    const int port = FreeLoopbackPort();
    THTTPSend http;
    WriteStreamText(http.Document, "body");
    EXPECT_FALSE(http.PerformRequest("POST", "http://127.0.0.1:" + std::to_string(port) + "/x"));
    EXPECT_EQ(http.ResultCode(), 500);
    EXPECT_EQ(http.Sock.ErrorNumber, 10061) << http.Sock.ErrorText;
    ASSERT_FALSE(http.Headers.empty());
    EXPECT_EQ(http.Headers.front(), "POST /x HTTP/1.0");
    EXPECT_EQ(http.Headers.back(), "");
    EXPECT_EQ(http.Document.View(), "body");
    EXPECT_TRUE(http.ConnectedHost().empty());
}

TEST(HttpFailureTest, UnknownHostFailsWithStatus500)
{
    THTTPSend http;
    EXPECT_FALSE(http.PerformRequest("GET", "http://no-such-host.invalid/"));
    EXPECT_EQ(http.ResultCode(), 500);
    EXPECT_NE(http.Sock.ErrorNumber, 0);
}

TEST(HttpFailureTest, ServerThatNeverAnswersEndsAfterTimeout)
{
    TScriptedPeer peer("", {.Silent = true});
    THTTPSend http;
    http.Timeout = 300;
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.Sock.ErrorNumber, 10060);
    EXPECT_EQ(http.ResultCode(), 0);
    EXPECT_TRUE(http.Headers.empty());
    EXPECT_EQ(http.Document.View(), "\r\n");
}

TEST(HttpFailureTest, HeadCutOffKeepsTheLinesReadSoFar)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Le");
    THTTPSend http;
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.Sock.ErrorNumber, 10054);
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.Headers, (std::vector<std::string>{"HTTP/1.1 200 OK", "Content-Type: text/plain"}));
    EXPECT_EQ(http.Document.Size(), 0);
}

TEST(HttpFailureTest, BodyCutShortKeepsOnlyWholePieces)
{
    std::string body(70000, 'x');
    body[65535] = 'y';
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + body);
    THTTPSend http;
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.Sock.ErrorNumber, 10054);
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.Headers.back(), "");
    EXPECT_EQ(http.Document.Size(), 65536);
    EXPECT_EQ(http.Document.View().back(), 'y');
}

TEST(HttpFailureTest, ChunkedBodyCutShortFails)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nonly part");
    THTTPSend http;
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.Sock.ErrorNumber, 10054);
}

TEST(HttpFailureTest, BodyUntilCloseFromAServerThatStaysOpenTimesOut)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\n\r\npartial", {.KeepOpen = true});
    THTTPSend http;
    http.Timeout = 300;
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.Sock.ErrorNumber, 10060);
    EXPECT_EQ(http.Document.View(), "partial");
}

TEST(HttpFailureTest, HttpsWithoutTlsLibraryFailsWithItsText)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    const TSSLClass previous = TlsPluginClass;
    TlsPluginClass = TSSLNone::Create;
    THTTPSend http;
    TlsPluginClass = previous;
    EXPECT_FALSE(http.PerformRequest("GET", "https://127.0.0.1:" + std::to_string(peer.Port()) + "/"));
    EXPECT_EQ(http.ResultCode(), 500);
    EXPECT_EQ(http.Sock.ErrorNumber, 10091);
    EXPECT_EQ(http.Sock.ErrorText, "SSL/TLS support is not compiled!");
}

// Regression: after a failed exchange on a kept connection, the next call read the late rest of the old answer as
// its own. The failed connection is now closed, so the next call opens a fresh one.
TEST(HttpFailureTest, FailedExchangeDoesNotLeaveItsConnectionForTheNext)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", {.KeepOpen = true});
    THTTPSend http;
    http.Protocol = "1.1";
    http.Timeout = 300;
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_TRUE(http.ConnectedHost().empty());
    http.ResetResponse();
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(peer.ConnectionCount(), 2);
}

} // namespace

// When THTTPSend keeps its connection between calls and when it opens a new one.

#include "httpsend.h"
#include "scriptedpeer.h"
#include "testcertificates.h"

#include <gtest/gtest.h>

using namespace quorlane::net;
using namespace quorlane::testsupport;

namespace {

const std::string KeptAnswer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

TEST(HttpConnectionTest, Http11ReusesTheConnectionTheServerKeeps)
{
    TScriptedPeer peer(KeptAnswer, {.KeepOpen = true});
    THTTPSend http;
    http.Protocol = "1.1";
    for (int call = 0; call < 3; ++call) {
        http.ResetResponse();
        ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.Sock.ErrorText;
        EXPECT_EQ(http.Document.View(), "ok");
    }
    EXPECT_EQ(http.ConnectedHost(), "127.0.0.1");
    EXPECT_EQ(http.ConnectedPort(), std::to_string(peer.Port()));
    EXPECT_EQ(peer.Requests().size(), 3u);
    EXPECT_EQ(peer.ConnectionCount(), 1);
}

TEST(HttpConnectionTest, Http10ClosesAfterEveryExchange)
{
    TScriptedPeer peer(KeptAnswer, {.KeepOpen = true});
    THTTPSend http;
    for (int call = 0; call < 2; ++call) {
        http.ResetResponse();
        ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
        EXPECT_TRUE(http.ConnectedHost().empty());
    }
    EXPECT_EQ(peer.ConnectionCount(), 2);
}

TEST(HttpConnectionTest, ServerAskingToCloseEndsTheConnection)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok", {.KeepOpen = true});
    THTTPSend http;
    http.Protocol = "1.1";
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    EXPECT_TRUE(http.ConnectedHost().empty());
    http.ResetResponse();
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(peer.ConnectionCount(), 2);
}

TEST(HttpConnectionTest, ConnectionClosedByThePeerIsNotReused)
{
    TScriptedPeer peer(KeptAnswer);
    THTTPSend http;
    http.Protocol = "1.1";
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    EXPECT_FALSE(http.ConnectedHost().empty());
    // The peer's close arrives after its answer; wait for it, so that the next call finds the connection ended.
    ASSERT_TRUE(http.Sock.WaitReadable(5000));
    http.ResetResponse();
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.Sock.ErrorText;
    EXPECT_EQ(http.Document.View(), "ok");
    EXPECT_EQ(peer.ConnectionCount(), 2);
}

// Regression: bytes a server sent beyond the announced length stayed in the socket's buffer, and the next call on
// the kept connection read them as the start of its own answer.
TEST(HttpConnectionTest, BytesBeyondTheAnswerAreNotReadAsTheNextAnswer)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokSTRAY", {.KeepOpen = true});
    THTTPSend http;
    http.Protocol = "1.1";
    http.Timeout = 3000;
    for (int call = 0; call < 2; ++call) {
        http.ResetResponse();
        ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.Sock.ErrorText;
        EXPECT_EQ(http.ResultCode(), 200) << "call " << call;
        EXPECT_EQ(http.Document.View(), "ok") << "call " << call;
    }
    EXPECT_EQ(peer.ConnectionCount(), 2);
}

TEST(HttpConnectionTest, HeadersNotResetAreSentAgainAsRequestLines)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nX-Answer: 1\r\nContent-Length: 0\r\n\r\n");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    EXPECT_NE(peer.Requests().at(1).find("\r\nX-Answer: 1\r\n"), std::string::npos);
}

// Regression: a kept connection was reused by host and port alone, so a request that asked for the server's
// certificate to be checked went out on a session made without that check.
TEST(HttpConnectionTest, KeptTlsConnectionIsReusedOnlyWithTheSameTlsSettings)
{
    TTempDir dir;
    TTestCertificates certificates(dir);
    const TKeyPair pair = certificates.Issue("127.0.0.1");
    // The same authority under another name is another setting.
    const std::string authorityCopy = dir.Write("copy.pem", ReadWholeFile(certificates.CAFile()));
    TScriptedPeer peer(KeptAnswer,
                       {.KeepOpen = true, .CertificateFile = pair.CertificateFile, .KeyFile = pair.KeyFile});
    THTTPSend http;
    http.Protocol = "1.1";
    // Each step: whether the server's certificate is checked, against which authorities, and the connections the
    // peer has seen after it.
    for (const auto& [verify, authorities, connections] :
         {std::tuple{false, std::string(), 1}, std::tuple{true, certificates.CAFile(), 2},
          std::tuple{true, certificates.CAFile(), 2}, std::tuple{true, authorityCopy, 3},
          std::tuple{false, std::string(), 4}}) {
        http.Sock.Tls->VerifyCert = verify;
        http.Sock.Tls->SetCertCAFile(authorities);
        http.ResetResponse();
        ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.FailureText();
        EXPECT_EQ(peer.ConnectionCount(), connections) << "verify " << verify << " with " << authorities;
    }
}

} // namespace

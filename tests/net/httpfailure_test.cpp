// What THTTPSend leaves behind when an exchange fails: result, status code, Headers, Document and the socket error.

#include "freeport.h"
#include "httpsend.h"
#include "scriptedpeer.h"
#include "sslnone.h"
#include "testcertificates.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace quorlane::net;
using namespace quorlane::testsupport;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizerBuild = true;
#elif defined(__has_feature)
constexpr bool AddressSanitizerBuild = __has_feature(address_sanitizer);
#else
constexpr bool AddressSanitizerBuild = false;
#endif

// The address space the process holds now, in bytes.
rlim_t AddressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

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

// Regression: under TLS a body without a length ended as complete when TCP closed, close_notify or not, and a record
// cut half-way was dropped silently: anyone on the path could cut an image short.
TEST(HttpFailureTest, TlsBodyWithoutLengthEndsOnlyAtTheCloseNotify)
{
    TTempDir dir;
    TTestCertificates certificates(dir);
    const TKeyPair pair = certificates.Issue("127.0.0.1");
    // Three records: the head with half the body, the other half, and a last short piece.
    const std::string answer = "HTTP/1.0 200 OK\r\n\r\n" + std::string(3981, 'a') + std::string(4000, 'b') + "end";
    for (const std::string end : {"close-notify", "cut", "half-record"}) {
        SCOPED_TRACE(end);
        TScriptedPeer peer(
            answer, {.Piece = 4000, .CertificateFile = pair.CertificateFile, .KeyFile = pair.KeyFile, .TlsEnd = end});
        THTTPSend http;
        const bool done = http.PerformRequest("GET", peer.Url());
        if (end == "close-notify") {
            EXPECT_TRUE(done) << http.Sock.ErrorText;
            EXPECT_TRUE(http.Document.View().ends_with("bbend")) << http.Document.Size();
        } else {
            EXPECT_FALSE(done);
            EXPECT_EQ(http.Sock.ErrorNumber, 10054) << http.Sock.ErrorText;
            EXPECT_EQ(http.Document.Size(), 0);
        }
    }
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

// Regression: the cookies of an answer whose body was cut off were dropped along with the body.
TEST(HttpFailureTest, BodyCutOffStillStoresTheAnswersCookies)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nSet-Cookie: session=42; Path=/\r\nContent-Length: 100\r\n\r\npartial");
    THTTPSend http;
    EXPECT_FALSE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.Sock.ErrorNumber, 10054) << http.Sock.ErrorText;
    EXPECT_EQ(http.Cookies, std::vector<std::string>{"session=42"});
}

// Regression: an answer announcing a gigabyte made the client reserve it before a single body byte arrived, and
// under an address-space limit the program died of std::bad_alloc. Memory now follows the bytes received.
TEST(HttpFailureTest, AnnouncedGigabyteTakesNoMemoryBeforeItArrives)
{
    if (AddressSanitizerBuild) {
        GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space; no address-space limit can be set";
    }
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\nabc");
    EXPECT_EXIT(
        {
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = AddressSpaceInUse() + (rlim_t{256} << 20);
            setrlimit(RLIMIT_AS, &limit);
            THTTPSend http;
            const bool done = http.PerformRequest("GET", peer.Url());
            std::fprintf(stderr, "request %s with error %d\n", done ? "succeeded" : "failed", http.Sock.ErrorNumber);
            std::exit(done ? 1 : 0);
        },
        testing::ExitedWithCode(0), "request failed with error 10054");
}

} // namespace

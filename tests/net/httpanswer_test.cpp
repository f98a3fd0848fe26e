// How THTTPSend reads an answer: status lines, the head as held in Headers, the three body modes and cookies.

#include "httpsend.h"
#include "scriptedpeer.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace quorlane::net;

namespace {

std::string HeadText(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    }
    return bytes;
}

TEST(HttpAnswerTest, ErrorStatusWithCompleteBodyIsASuccessfulExchange)
{
    TScriptedPeer peer("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.Sock.ErrorText;
    EXPECT_EQ(http.ResultCode(), 404);
    EXPECT_EQ(http.ResultString(), "Not Found");
    EXPECT_EQ(http.Document.View(), "not found");
    EXPECT_EQ(http.Document.Position(), 0);
}

TEST(HttpAnswerTest, StatusLineWithoutReasonGivesEmptyText)
{
    TScriptedPeer peer("HTTP/1.0 200\r\nContent-Length: 0\r\n\r\n");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.ResultString(), "");
}

TEST(HttpAnswerTest, HeadAnswerIsHeldExactlyAsReceived)
{
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 1000\r\n\r\n";
    TScriptedPeer peer(head, {.KeepOpen = true});
    THTTPSend http;
    http.Timeout = 3000;
    ASSERT_TRUE(http.PerformRequest("HEAD", peer.Url("/api/firmware_download/?file=1.2"))) << http.Sock.ErrorText;
    const std::vector<std::string> expected{"HTTP/1.1 200 OK", "Content-Type: application/octet-stream",
                                            "Content-Length: 1000", ""};
    EXPECT_EQ(http.Headers, expected);
    EXPECT_EQ(HeadText(http.Headers).size(), 81u);
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.MimeType, "application/octet-stream");
    EXPECT_EQ(http.Document.Size(), 0);
}

TEST(HttpAnswerTest, MethodInSmallLettersStillWaitsForTheAnnouncedBody)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n", {.KeepOpen = true});
    THTTPSend http;
    http.Timeout = 300;
    EXPECT_FALSE(http.PerformRequest("head", peer.Url()));
    EXPECT_EQ(http.Sock.ErrorNumber, 10060);
    EXPECT_TRUE(peer.Requests()[0].starts_with("HEAD / HTTP/1.0\r\n"));
}

TEST(HttpAnswerTest, NoBodyIsReadFor204And304)
{
    for (const std::string status : {"204 No Content", "304 Not Modified"}) {
        TScriptedPeer peer("HTTP/1.1 " + status + "\r\nContent-Length: 5\r\n\r\n", {.KeepOpen = true});
        THTTPSend http;
        http.Timeout = 3000;
        ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << status;
        EXPECT_EQ(http.Document.Size(), 0) << status;
    }
}

TEST(HttpAnswerTest, BodyOfLengthArrivesWholeAcrossManyPieces)
{
    const std::string body = Pattern(200000);
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n" + body, {.KeepOpen = true});
    THTTPSend http;
    http.Timeout = 5000;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.Sock.ErrorText;
    EXPECT_EQ(http.BodyMode(), bmLength);
    EXPECT_EQ(http.DownloadSize(), 200000);
    EXPECT_TRUE(http.Document.View() == body);
}

TEST(HttpAnswerTest, ReadReportsCountHeadAndBodyBytes)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
    TScriptedPeer peer(head + Pattern(100000));
    THTTPSend http;
    std::int64_t reported = 0;
    http.Sock.OnStatus = [&reported](TBlockSocket*, THookSocketReason reason, const std::string& value) {
        if (reason == HR_ReadCount) {
            reported += std::stoll(value);
        }
    };
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(reported, static_cast<std::int64_t>(head.size()) + 100000);
}

TEST(HttpAnswerTest, ChunkedWinsOverLengthInEitherOrder)
{
    const std::string chunks = "5\r\nhello\r\n0\r\n\r\n";
    for (const std::string lines : {"Content-Length: 100\r\nTransfer-Encoding: chunked\r\n",
                                    "Transfer-Encoding: chunked\r\nContent-Length: 100\r\n"}) {
        TScriptedPeer peer("HTTP/1.1 200 OK\r\n" + lines + "\r\n" + chunks, {.KeepOpen = true});
        THTTPSend http;
        http.Timeout = 3000;
        ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << lines;
        EXPECT_EQ(http.BodyMode(), bmChunked);
        EXPECT_EQ(http.Document.View(), "hello");
        EXPECT_EQ(http.DownloadSize(), 5);
    }
}

TEST(HttpAnswerTest, ChunkExtensionsAreIgnoredAndSplitPacketsJoined)
{
    const std::string answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "5;name=val\r\nhello\r\n6 ; x\r\n world\r\n0\r\nTrailer: t\r\n\r\n";
    TScriptedPeer peer(answer, {.KeepOpen = true, .Piece = 3});
    THTTPSend http;
    http.Timeout = 3000;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.Sock.ErrorText;
    EXPECT_EQ(http.Document.View(), "hello world");
    EXPECT_EQ(http.DownloadSize(), 6);
}

TEST(HttpAnswerTest, BodyWithoutLengthIsReadUntilTheServerCloses)
{
    TScriptedPeer peer("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nuntil the very end");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << http.Sock.ErrorText;
    EXPECT_EQ(http.BodyMode(), bmUntilClose);
    EXPECT_EQ(http.Document.View(), "until the very end");
    EXPECT_EQ(http.Sock.ErrorNumber, 0);
}

// Headers are found by their exact name: a length without a space after the colon counts, a name that merely
// contains "Content-Length" does not, and a negative length is none.
TEST(HttpAnswerTest, HeadersAreReadByTheirExactName)
{
    for (const auto& [head, mode, body] :
         {std::tuple{"Content-Length:5", bmLength, "hello"},
          std::tuple{"Access-Control-Expose-Headers: Content-Length\r\nX-Content-Length: 3", bmUntilClose,
                     "hello world"},
          std::tuple{"Content-Length: -5", bmUntilClose, "hello world"}}) {
        TScriptedPeer peer("HTTP/1.1 200 OK\r\n" + std::string(head) + "\r\n\r\nhello world");
        THTTPSend http;
        ASSERT_TRUE(http.PerformRequest("GET", peer.Url())) << head;
        EXPECT_EQ(http.BodyMode(), mode) << head;
        EXPECT_EQ(http.Document.View(), body) << head;
    }
}

TEST(HttpAnswerTest, RedirectIsReturnedAndNotFollowed)
{
    TScriptedPeer peer("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url("/here")));
    EXPECT_EQ(http.ResultCode(), 302);
    EXPECT_EQ(http.Headers[1], "Location: /elsewhere");
    EXPECT_EQ(peer.Requests().size(), 1u);
}

TEST(HttpAnswerTest, AnswerWithoutStatusLineBecomesTheBody)
{
    TScriptedPeer peer("hello there\r\nsecond line\nthird");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    EXPECT_EQ(http.ResultCode(), 0);
    EXPECT_TRUE(http.Headers.empty());
    EXPECT_EQ(http.Document.View(), "hello there\r\nsecond line\nthird");
}

TEST(HttpAnswerTest, FoldedHeaderLinesAreJoined)
{
    TScriptedPeer peer("HTTP/1.1 200 OK\r\nX-Folded: one\r\n two\r\n\tthree  \r\nContent-Length: 2\r\n\r\nok");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    const std::vector<std::string> expected{"HTTP/1.1 200 OK", "X-Folded: one two three", "Content-Length: 2", ""};
    EXPECT_EQ(http.Headers, expected);
    EXPECT_EQ(http.Document.View(), "ok");
}

TEST(HttpAnswerTest, InterimContinueStaysBeforeTheFinalStatus)
{
    TScriptedPeer peer("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    THTTPSend http;
    ASSERT_TRUE(http.PerformRequest("GET", peer.Url()));
    ASSERT_GE(http.Headers.size(), 2u);
    EXPECT_EQ(http.Headers[0], "HTTP/1.1 100 Continue");
    EXPECT_EQ(http.Headers[1], "HTTP/1.1 200 OK");
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.Document.View(), "ok");
}

TEST(HttpAnswerTest, CookiesAreStoredReplacedAndRemoved)
{
    THTTPSend http;
    // One exchange with a fresh peer; returns the request that the peer received.
    const auto exchange = [&http](const std::string& cookieLines) {
        TScriptedPeer peer("HTTP/1.1 200 OK\r\n" + cookieLines + "Content-Length: 0\r\n\r\n");
        http.ResetResponse();
        EXPECT_TRUE(http.PerformRequest("GET", peer.Url()));
        return peer.Requests().at(0);
    };
    exchange("Set-Cookie: id=7; Path=/\r\nset-cookie: lang = de\r\n");
    EXPECT_EQ(http.Cookies, (std::vector<std::string>{"id=7", "lang=de"}));

    const std::string second = exchange("Set-Cookie: LANG=en\r\n");
    EXPECT_NE(second.find("\r\nCookie: id=7; lang=de\r\n"), std::string::npos);
    EXPECT_EQ(http.Cookies, (std::vector<std::string>{"id=7", "LANG=en"}));

    exchange("Set-Cookie: ID=\r\nSet-Cookie: lang=; Path=/\r\n");
    EXPECT_TRUE(http.Cookies.empty());
    EXPECT_EQ(exchange("").find("Cookie:"), std::string::npos);
}

} // namespace

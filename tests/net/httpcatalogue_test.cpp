// THTTPSend against the project's nginx catalogue over HTTPS: verified fetches, certificate and host name checks,
// and the catalogue's refusal of image names that could leave its directory.

#include "catalogueserver.h"
#include "httpsend.h"
#include "scriptedpeer.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace quorlane::net;

namespace {

const std::string Catalogue =
    "[\n  {\"name\": \"blink\", \"version\": \"1.2\"},\n  {\"name\": \"relay\", \"version\": \"0.9-beta\"}\n]\n";

std::string Image(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    }
    return bytes;
}

// Trusts only the given CA file for the duration of a test, as a user's system store would.
class TrustedCertificates
{
public:
    explicit TrustedCertificates(const std::string& caFile) { ::setenv("SSL_CERT_FILE", caFile.c_str(), 1); }
    ~TrustedCertificates() { ::unsetenv("SSL_CERT_FILE"); }
};

class HttpCatalogueTest : public ::testing::Test
{
protected:
    HttpCatalogueTest() : Server(Catalogue, {{"1.2", Image(300000)}, {"0.9-beta", Image(10)}}), Trust(Server.CAFile())
    {
    }

    TCatalogueServer Server;
    TrustedCertificates Trust;
};

TEST_F(HttpCatalogueTest, CatalogueFetchedOverVerifiedTls)
{
    THTTPSend http;
    http.Sock.Tls->VerifyCert = true;
    std::vector<std::string> lines;
    ASSERT_TRUE(HttpGetLines(http, Server.Address() + "/api/firmware/", lines)) << http.Sock.ErrorText;
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.MimeType, "application/json");
    const std::vector<std::string> expected{"[", "  {\"name\": \"blink\", \"version\": \"1.2\"},",
                                            "  {\"name\": \"relay\", \"version\": \"0.9-beta\"}", "]"};
    EXPECT_EQ(lines, expected);
}

TEST_F(HttpCatalogueTest, ImageSizeFromHeadThenBytesFromGet)
{
    const std::string address = Server.Address() + "/api/firmware_download/?file=1.2";
    THTTPSend head;
    head.Sock.Tls->VerifyCert = true;
    ASSERT_TRUE(head.PerformRequest("HEAD", address)) << head.Sock.ErrorText;
    EXPECT_EQ(head.ResultCode(), 200);
    EXPECT_NE(std::ranges::find(head.Headers, "Content-Length: 300000"), head.Headers.end());
    EXPECT_EQ(head.Document.Size(), 0);

    THTTPSend get;
    get.Sock.Tls->VerifyCert = true;
    ASSERT_TRUE(get.PerformRequest("GET", address)) << get.Sock.ErrorText;
    EXPECT_EQ(get.ResultCode(), 200);
    EXPECT_EQ(get.DownloadSize(), 300000);
    EXPECT_TRUE(get.Document.View() == Image(300000));
}

TEST_F(HttpCatalogueTest, ServerOutsideTheTrustedCertificatesIsRefusedWhenVerifying)
{
    quorlane::testsupport::TTempDir otherDir;
    quorlane::testsupport::TTestCertificates other(otherDir);
    TrustedCertificates trustOther(other.CAFile());
    THTTPSend verifying;
    verifying.Sock.Tls->VerifyCert = true;
    EXPECT_FALSE(verifying.PerformRequest("GET", Server.Address() + "/api/firmware/"));
    EXPECT_EQ(verifying.Sock.ErrorNumber, 10091);
    EXPECT_EQ(verifying.ResultCode(), 500);

    THTTPSend trusting;
    ASSERT_TRUE(trusting.PerformRequest("GET", Server.Address() + "/api/firmware/")) << trusting.Sock.ErrorText;
    EXPECT_EQ(trusting.ResultCode(), 200);
}

TEST_F(HttpCatalogueTest, ImageNamesThatCouldLeaveTheirDirectoryAreRefused)
{
    for (const std::string name : {"..%2Fcatalogue.json", "../catalogue.json", "%2e%2e", ".hidden", "a/b", ""}) {
        THTTPSend http;
        ASSERT_TRUE(http.PerformRequest("GET", Server.Address() + "/api/firmware_download/?file=" + name));
        EXPECT_EQ(http.ResultCode(), 400) << name;
        EXPECT_EQ(http.Document.View().find("blink"), std::string::npos) << name;
    }
    THTTPSend missing;
    ASSERT_TRUE(missing.PerformRequest("GET", Server.Address() + "/api/firmware_download/?file=9.9"));
    EXPECT_EQ(missing.ResultCode(), 404);
}

TEST(HttpCatalogueHostTest, CertificateForAnotherHostIsRefusedWhenVerifying)
{
    TCatalogueServer server(Catalogue, {}, "localhost");
    TrustedCertificates trust(server.CAFile());
    THTTPSend byAddress;
    byAddress.Sock.Tls->VerifyCert = true;
    EXPECT_FALSE(byAddress.PerformRequest("GET", server.Address() + "/api/firmware/"));
    EXPECT_EQ(byAddress.Sock.ErrorNumber, 10091);

    THTTPSend byName;
    byName.Sock.Tls->VerifyCert = true;
    const std::string url = "https://localhost:" + std::to_string(server.Port()) + "/api/firmware/";
    ASSERT_TRUE(byName.PerformRequest("GET", url)) << byName.Sock.ErrorText;
    EXPECT_EQ(byName.ResultCode(), 200);
}

TEST(HttpGetLinesTest, BodySplitsAtEveryLineEndAndStopsAtAZeroByte)
{
    TScriptedPeer peer(std::string("HTTP/1.0 200 OK\r\n\r\na\r\nb\nc\rd\n\ne\0f", 32));
    std::vector<std::string> lines{"old"};
    ASSERT_TRUE(HttpGetLines(peer.Url(), lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
}

TEST(HttpGetLinesTest, FailedRequestLeavesTheLinesAsTheyWere)
{
    TScriptedPeer peer("", {.Silent = true});
    THTTPSend http;
    http.Timeout = 200;
    std::vector<std::string> lines{"kept"};
    EXPECT_FALSE(HttpGetLines(http, peer.Url(), lines));
    EXPECT_EQ(lines, std::vector<std::string>{"kept"});
}

} // namespace

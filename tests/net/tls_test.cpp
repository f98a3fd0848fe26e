#include "loopbackpeer.h"
#include "nginxserver.h"
#include "opensslserver.h"
#include "serverprocess.h"
#include "sslnone.h"
#include "sslopenssl.h"
#include "statuslog.h"
#include "tcpblocksocket.h"
#include "testcertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

using namespace quorlane::net;
using namespace quorlane::testsupport;

namespace {

// One test CA and its certificates for the whole suite: key generation is the slow part.
class TlsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Dir = new TTempDir;
        Certificates = new TTestCertificates(*Dir);
        Localhost = new TKeyPair(Certificates->Issue("localhost"));
        LoopbackIP = new TKeyPair(Certificates->Issue("127.0.0.1"));
        OtherHost = new TKeyPair(Certificates->Issue("other.example"));
        SelfSigned = new TKeyPair(Certificates->SelfSigned("localhost"));
    }
    static void TearDownTestSuite()
    {
        delete SelfSigned;
        delete OtherHost;
        delete LoopbackIP;
        delete Localhost;
        delete Certificates;
        delete Dir;
    }

    // Connects to the server and starts TLS, naming host as the server.
    static void StartTlsTo(TTCPBlockSocket& sock, int port, const std::string& host)
    {
        sock.ConnectTo("127.0.0.1", std::to_string(port));
        ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
        sock.Tls->SNIHost = host;
        sock.StartTls();
    }

    static inline TTempDir* Dir = nullptr;
    static inline TTestCertificates* Certificates = nullptr;
    static inline TKeyPair* Localhost = nullptr;
    static inline TKeyPair* LoopbackIP = nullptr;
    static inline TKeyPair* OtherHost = nullptr;
    static inline TKeyPair* SelfSigned = nullptr;
};

// A TLS server made of the socket classes themselves: it accepts one client, runs the server handshake with the
// settings that configure() gives, then hands the connection to session().
class TOwnTlsServer
{
public:
    using TStep = std::function<void(TTCPBlockSocket& connection)>;

    TOwnTlsServer(TStep configure, TStep session)
    {
        FListener.BindTo("127.0.0.1", "0");
        FListener.StartListening();
        FThread = std::thread([this, configure = std::move(configure), session = std::move(session)] {
            const TSocket handle = FListener.AcceptClient();
            if (handle == InvalidSocket) {
                return;
            }
            TTCPBlockSocket connection;
            connection.AdoptHandle(handle);
            configure(connection);
            HandshakeDone = connection.Tls->HandshakeAsServer();
            HandshakeError = connection.Tls->ErrorText;
            if (HandshakeDone) {
                session(connection);
            }
        });
    }
    ~TOwnTlsServer()
    {
        shutdown(FListener.Handle, SHUT_RDWR);
        FThread.join();
    }

    int Port() { return FListener.LocalPortNumber(); }

    bool HandshakeDone = false;
    std::string HandshakeError;

private:
    TTCPBlockSocket FListener;
    std::thread FThread;
};

std::string Md5OfCertificateFile(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "r");
    X509* certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(certificate, EVP_md5(), digest, &length);
    X509_free(certificate);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

} // namespace

TEST_F(TlsTest, NewSocketsGetTheOpenSslPlugin)
{
    TTCPBlockSocket sock;
    EXPECT_EQ(sock.Tls->LibraryNameText(), "ssl_openssl");
    EXPECT_EQ(sock.Tls->LibraryVersionText().rfind("OpenSSL 3", 0), 0u) << sock.Tls->LibraryVersionText();
    EXPECT_EQ(sock.Tls->Ciphers, "DEFAULT");
    EXPECT_FALSE(sock.Tls->VerifyCert);
}

TEST_F(TlsTest, WithoutTlsLibraryStartTlsFailsWithItsText)
{
    const TSSLClass saved = TlsPluginClass;
    TlsPluginClass = &TSSLNone::Create;
    TStatusLog log;
    TTCPBlockSocket sock;
    TlsPluginClass = saved;
    log.Attach(sock);
    EXPECT_EQ(sock.Tls->LibraryNameText(), "ssl_none");
    EXPECT_EQ(sock.Tls->LibraryVersionText(), "Without SSL support");

    TLoopbackPeer peer([](int) {});
    StartTlsTo(sock, peer.Port(), "localhost");

    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_EQ(sock.ErrorText, "SSL/TLS support is not compiled!");
    EXPECT_EQ(log.ValuesOf(HR_Error).back(), "10091,SSL/TLS support is not compiled!");
    EXPECT_EQ(sock.Tls->WriteData("x", 1), -1);
    EXPECT_FALSE(sock.Tls->TlsActive);
}

TEST_F(TlsTest, SelfSignedCertificateIsAcceptedWithVerificationOff)
{
    TOpenSslServer server(SelfSigned->CertificateFile, SelfSigned->KeyFile);
    TTCPBlockSocket sock;
    StartTlsTo(sock, server.Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << server.Log();
    EXPECT_TRUE(sock.Tls->TlsActive);
    EXPECT_EQ(sock.Tls->VerifyResultCode(), X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
    EXPECT_EQ(sock.Tls->PeerCommonName(), "localhost");
    EXPECT_EQ(sock.Tls->PeerSubject(), "/CN=localhost");
    EXPECT_EQ(sock.Tls->PeerFingerprint(), Md5OfCertificateFile(SelfSigned->CertificateFile));
    EXPECT_EQ(sock.Tls->ProtocolVersionText().rfind("TLSv1.", 0), 0u);
    EXPECT_FALSE(sock.Tls->CipherNameText().empty());
    EXPECT_GE(sock.Tls->CipherBits(), 128);
    EXPECT_GE(sock.Tls->CipherAlgorithmBits(), 128);
    const std::string printout = sock.Tls->PeerCertificateText();
    EXPECT_NE(printout.find("Subject: CN=localhost\r\n"), std::string::npos) << printout;
    EXPECT_EQ(printout.find("\n"), printout.find("\r\n") + 1);

    sock.SendText("GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(sock.ReadLine(5000), "HTTP/1.0 200 ok");
}

TEST_F(TlsTest, SelfSignedCertificateIsRefusedWithVerificationOn)
{
    TOpenSslServer server(SelfSigned->CertificateFile, SelfSigned->KeyFile);
    TTCPBlockSocket sock;
    sock.Tls->VerifyCert = true;
    StartTlsTo(sock, server.Port(), "localhost");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_NE(sock.ErrorText.find("certificate verify failed"), std::string::npos) << sock.ErrorText;
    EXPECT_FALSE(sock.Tls->TlsActive);
}

TEST_F(TlsTest, CertificateFromTrustedAuthorityForTheHostIsAccepted)
{
    TOpenSslServer server(Localhost->CertificateFile, Localhost->KeyFile);
    TTCPBlockSocket sock;
    sock.Tls->VerifyCert = true;
    sock.Tls->SetCertCAFile(Certificates->CAFile());
    StartTlsTo(sock, server.Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_EQ(sock.Tls->VerifyResultCode(), X509_V_OK);
    EXPECT_EQ(sock.Tls->PeerIssuer(), "/CN=Quorlane Test CA");
}

TEST_F(TlsTest, CertificateForAnotherHostNameIsRefused)
{
    TOpenSslServer server(OtherHost->CertificateFile, OtherHost->KeyFile);
    TTCPBlockSocket sock;
    sock.Tls->VerifyCert = true;
    sock.Tls->SetCertCAFile(Certificates->CAFile());
    StartTlsTo(sock, server.Port(), "localhost");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_NE(sock.ErrorText.find("certificate verify failed"), std::string::npos) << sock.ErrorText;
}

TEST_F(TlsTest, AddressNamedInTheCertificateIsCheckedAsAnAddress)
{
    TOpenSslServer matching(LoopbackIP->CertificateFile, LoopbackIP->KeyFile);
    TTCPBlockSocket good;
    good.Tls->VerifyCert = true;
    good.Tls->SetCertCAFile(Certificates->CAFile());
    StartTlsTo(good, matching.Port(), "127.0.0.1");
    EXPECT_EQ(good.ErrorNumber, 0) << good.ErrorText;

    TOpenSslServer byName(Localhost->CertificateFile, Localhost->KeyFile);
    TTCPBlockSocket bad;
    bad.Tls->VerifyCert = true;
    bad.Tls->SetCertCAFile(Certificates->CAFile());
    StartTlsTo(bad, byName.Port(), "127.0.0.1");
    EXPECT_EQ(bad.ErrorNumber, 10091);
}

TEST_F(TlsTest, SystemTrustStoreIsUsedAndHonoursSslCertFile)
{
    TOpenSslServer server(Localhost->CertificateFile, Localhost->KeyFile);
    unsetenv("SSL_CERT_FILE");
    TTCPBlockSocket untrusted;
    untrusted.Tls->VerifyCert = true;
    StartTlsTo(untrusted, server.Port(), "localhost");
    EXPECT_EQ(untrusted.ErrorNumber, 10091) << "the test CA must not be in the system's store";
    untrusted.CloseConnection();

    setenv("SSL_CERT_FILE", Certificates->CAFile().c_str(), 1);
    TTCPBlockSocket trusted;
    trusted.Tls->VerifyCert = true;
    StartTlsTo(trusted, server.Port(), "localhost");
    unsetenv("SSL_CERT_FILE");
    EXPECT_EQ(trusted.ErrorNumber, 0) << trusted.ErrorText;
}

TEST_F(TlsTest, VerifyHookAnsweringFalseRefusesWithoutLibraryText)
{
    TOpenSslServer server(Localhost->CertificateFile, Localhost->KeyFile);
    TTCPBlockSocket sock;
    sock.Tls->VerifyCert = true;
    sock.Tls->SetCertCAFile(Certificates->CAFile());
    std::string seenName;
    sock.Tls->OnVerifyCert = [&](TCustomSSL* sender) {
        seenName = sender->PeerCommonName();
        return false;
    };
    StartTlsTo(sock, server.Port(), "localhost");
    EXPECT_EQ(seenName, "localhost");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_EQ(sock.ErrorText, "Network subsystem is unusable");
}

TEST_F(TlsTest, RemovedProtocolChoicesFailWithoutText)
{
    TOpenSslServer server(SelfSigned->CertificateFile, SelfSigned->KeyFile);
    TTCPBlockSocket sock;
    sock.Tls->SSLType = LT_TLSv1_1;
    StartTlsTo(sock, server.Port(), "localhost");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_EQ(sock.ErrorText, "Network subsystem is unusable");
}

TEST_F(TlsTest, GeneratedCertificateUsesRsa2048AndSha256)
{
    TTCPBlockSocket owner;
    TSSLOpenSSL plugin(owner);
    ASSERT_TRUE(plugin.MakeSelfSignedCertificate("example"));
    const auto* der = reinterpret_cast<const unsigned char*>(plugin.Certificate.data());
    X509* certificate = d2i_X509(nullptr, &der, static_cast<long>(plugin.Certificate.size()));
    ASSERT_NE(certificate, nullptr);
    char subject[256];
    X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
    EXPECT_STREQ(subject, "/C=CZ/CN=example");
    EXPECT_EQ(X509_get_signature_nid(certificate), NID_sha256WithRSAEncryption);
    EXPECT_EQ(EVP_PKEY_get_bits(X509_get0_pubkey(certificate)), 2048);
    int days = 0;
    int seconds = 0;
    ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(certificate), X509_get0_notAfter(certificate));
    EXPECT_EQ(days, 61);
    X509_free(certificate);
    EXPECT_FALSE(plugin.PrivateKey.empty());
}

TEST_F(TlsTest, ServerHandshakeWithGeneratedCertificateAnswersOpensslClient)
{
    TOwnTlsServer server([](TTCPBlockSocket&) {},
                         [](TTCPBlockSocket& connection) { connection.SendText("hello from the server\r\n"); });
    const TTempDir dir;
    TServerProcess client({"/usr/bin/openssl", "s_client", "-connect", "127.0.0.1:" + std::to_string(server.Port()),
                           "-servername", "localhost", "-ign_eof"},
                          dir.File("s_client.log"));
    EXPECT_NE(client.WaitForExit(20000), -1);
    const std::string output = ReadWholeFile(dir.File("s_client.log"));
    EXPECT_TRUE(server.HandshakeDone) << server.HandshakeError;
    EXPECT_NE(output.find("hello from the server"), std::string::npos) << output;
    EXPECT_NE(output.find("subject=C = CZ, CN = localhost"), std::string::npos) << output;
}

TEST_F(TlsTest, ServerKeysFromPemFilesWithPasswordAndFromPkcs12)
{
    const std::string encryptedKey = Dir->File("encrypted.key");
    ASSERT_EQ(RunCommand({"/usr/bin/openssl", "rsa", "-aes256", "-in", Localhost->KeyFile, "-out", encryptedKey,
                          "-passout", "pass:secret"},
                         Dir->File("rsa.log")),
              0);
    const std::string bundle = Dir->File("server.p12");
    ASSERT_EQ(RunCommand({"/usr/bin/openssl", "pkcs12", "-export", "-in", Localhost->CertificateFile, "-inkey",
                          Localhost->KeyFile, "-out", bundle, "-passout", "pass:p12pass"},
                         Dir->File("pkcs12.log")),
              0);
    const std::vector<std::function<void(TTCPBlockSocket&)>> settings{[&](TTCPBlockSocket& c) {
                                                                          c.Tls->CertificateFile =
                                                                              Localhost->CertificateFile;
                                                                          c.Tls->PrivateKeyFile = encryptedKey;
                                                                          c.Tls->KeyPassword = "secret";
                                                                      },
                                                                      [&](TTCPBlockSocket& c) {
                                                                          c.Tls->PFXfile = bundle;
                                                                          c.Tls->KeyPassword = "p12pass";
                                                                      },
                                                                      [&](TTCPBlockSocket& c) {
                                                                          c.Tls->PFX = ReadWholeFile(bundle);
                                                                          c.Tls->KeyPassword = "p12pass";
                                                                      }};
    for (std::size_t i = 0; i < settings.size(); ++i) {
        SCOPED_TRACE("settings " + std::to_string(i));
        TOwnTlsServer server(settings[i], [](TTCPBlockSocket& c) { c.SendText("ok\r\n"); });
        TTCPBlockSocket sock;
        sock.Tls->VerifyCert = true;
        sock.Tls->SetCertCAFile(Certificates->CAFile());
        StartTlsTo(sock, server.Port(), "localhost");
        ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
        EXPECT_EQ(sock.ReadLine(5000), "ok");
        EXPECT_EQ(sock.Tls->PeerIssuer(), "/CN=Quorlane Test CA");
    }
}

TEST_F(TlsTest, WrongKeyPasswordFailsTheServerHandshake)
{
    const std::string bundle = Dir->File("wrong.p12");
    ASSERT_EQ(RunCommand({"/usr/bin/openssl", "pkcs12", "-export", "-in", Localhost->CertificateFile, "-inkey",
                          Localhost->KeyFile, "-out", bundle, "-passout", "pass:right"},
                         Dir->File("pkcs12.log")),
              0);
    auto server = std::make_unique<TOwnTlsServer>(
        [&](TTCPBlockSocket& c) {
            c.Tls->PFXfile = bundle;
            c.Tls->KeyPassword = "wrong";
        },
        [](TTCPBlockSocket&) {});
    TTCPBlockSocket sock;
    StartTlsTo(sock, server->Port(), "localhost");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    server.reset();
}

TEST_F(TlsTest, OwnClientSeesTheGeneratedCertificate)
{
    TOwnTlsServer server([](TTCPBlockSocket&) {}, [](TTCPBlockSocket& c) { c.SendText("line one\r\nline two\r\n"); });
    TTCPBlockSocket sock;
    sock.ConvertLineEnd = true;
    StartTlsTo(sock, server.Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_EQ(sock.Tls->PeerSubject(), "/C=CZ/CN=localhost");
    EXPECT_EQ(sock.Tls->PeerCommonName(), "localhost");
    EXPECT_EQ(sock.Tls->PeerSerialNumber(), 0);
    EXPECT_NE(sock.Tls->PeerSubjectHash(), 0u);
    EXPECT_EQ(sock.ReadLine(5000), "line one");
    EXPECT_EQ(sock.ReadLine(5000), "line two");
    EXPECT_EQ(sock.ReadLine(5000), "");
    EXPECT_EQ(sock.ErrorNumber, 10054) << sock.ErrorText;
}

TEST_F(TlsTest, FailedTlsReadIsReportedWithItsCountBeforeTheError)
{
    TOwnTlsServer server([](TTCPBlockSocket&) {},
                         [](TTCPBlockSocket& c) {
                             // Plain bytes where a TLS record belongs.
                             const std::string garbage(64, '\x17');
                             send(c.Handle, garbage.data(), garbage.size(), MSG_NOSIGNAL);
                             TLoopbackPeer::ReceiveAll(c.Handle, 2000);
                         });
    TStatusLog log;
    TTCPBlockSocket sock;
    log.Attach(sock);
    StartTlsTo(sock, server.Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    for (int i = 0; i < 20 && sock.ErrorNumber == 0; ++i) {
        sock.ReadAvailable(5000);
    }
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_FALSE(sock.ErrorText.empty());
    EXPECT_NE(sock.ErrorText, "Network subsystem is unusable");
    const auto& entries = log.Entries;
    const auto error = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.first == HR_Error; });
    ASSERT_NE(error, entries.end());
    ASSERT_NE(error + 1, entries.end());
    EXPECT_EQ((error + 1)->first, HR_ReadCount);
    EXPECT_LE(std::stoi((error + 1)->second), 0);
    sock.CloseConnection();
}

TEST_F(TlsTest, TlsWriteOnAClosedConnectionGivesAnErrorNotASignal)
{
    signal(SIGPIPE, SIG_DFL); // a TLS write raising SIGPIPE would end this test program
    TOwnTlsServer server([](TTCPBlockSocket&) {}, [](TTCPBlockSocket& c) { c.ReadLine(5000); });
    TTCPBlockSocket sock;
    StartTlsTo(sock, server.Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    // Writing after the sending direction is shut down fails with EPIPE, the error that raises the signal.
    shutdown(sock.Handle, SHUT_WR);
    sock.SendText("after the end\r\n");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_EQ(sock.ErrorText, "TLS connection failed: Broken pipe");
}

TEST_F(TlsTest, SilentTlsServerLetsTheReadTimeOut)
{
    // After the handshake the server sends only its session tickets, then nothing: the wait for data must end by
    // the socket's own time-out, not block inside the library.
    TOwnTlsServer server([](TTCPBlockSocket&) {},
                         [](TTCPBlockSocket& c) { TLoopbackPeer::ReceiveAll(c.Handle, 3000); });
    TTCPBlockSocket sock;
    StartTlsTo(sock, server.Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_EQ(sock.ReadLine(300), "");
    EXPECT_EQ(sock.ErrorNumber, 10060);
    sock.CloseConnection();
}

TEST_F(TlsTest, NginxServesAFileOverVerifiedTls)
{
    std::string body(1 << 20, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 13 % 256);
    }
    TNginxServer nginx({"", "", Localhost->CertificateFile, Localhost->KeyFile});
    std::FILE* file = std::fopen((nginx.Root() + "/image.bin").c_str(), "wb");
    std::fwrite(body.data(), 1, body.size(), file);
    std::fclose(file);

    TTCPBlockSocket sock;
    sock.ConvertLineEnd = true;
    sock.Tls->VerifyCert = true;
    sock.Tls->SetCertCAFile(Certificates->CAFile());
    StartTlsTo(sock, nginx.Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << nginx.ErrorLog();
    sock.SendText("GET /image.bin HTTP/1.0\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(sock.ReadLine(5000), "HTTP/1.1 200 OK");
    std::string line;
    do {
        line = sock.ReadLine(5000);
    } while (!line.empty() && sock.ErrorNumber == 0);
    TMemoryStream stream;
    sock.ReadStreamOfLength(stream, 5000, static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_TRUE(stream.View() == body);
}

TEST_F(TlsTest, ClosingBothWaysExchangesCloseNotifications)
{
    std::vector<std::string> serverReadCounts;
    int serverError = 0;
    auto server = std::make_unique<TOwnTlsServer>([](TTCPBlockSocket&) {},
                                                  [&](TTCPBlockSocket& c) {
                                                      TStatusLog log;
                                                      log.Attach(c);
                                                      c.ReadLine(5000);
                                                      serverError = c.ErrorNumber;
                                                      serverReadCounts = log.ValuesOf(HR_ReadCount);
                                                      c.OnStatus = nullptr;
                                                  });
    TTCPBlockSocket sock;
    StartTlsTo(sock, server->Port(), "localhost");
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_TRUE(sock.Tls->CloseTlsBoth());
    EXPECT_FALSE(sock.Tls->TlsActive);
    server.reset();
    // The server's TLS read met the close notification (a read of 0 without error) before the connection's end.
    EXPECT_EQ(serverReadCounts, std::vector<std::string>{"0"});
    EXPECT_EQ(serverError, 10054);
}

namespace {

// A plug-in that reports TLS as running and answers every transfer with a fixed count and error, to check how the
// socket treats the plug-in's answers.
class TFixedAnswerSSL : public TCustomSSL
{
public:
    TFixedAnswerSSL(TTCPBlockSocket& owner, int count, int error) : TCustomSSL(owner), FCount(count), FError(error)
    {
        TlsActive = true;
    }
    int WriteData(const void*, int) override { return Answer(); }
    int ReadData(void*, int) override { return Answer(); }
    int PendingPlainBytes() override { return 0; }
    bool CloseTls() override
    {
        TlsActive = false;
        return true;
    }

private:
    int Answer()
    {
        ErrorNumber = FError;
        ErrorText = FError != 0 ? "fixed failure" : "";
        return FCount;
    }

    int FCount;
    int FError;
};

} // namespace

TEST(TlsPluginAnswerTest, WriteOfNothingWithoutErrorEndsTheSendInsteadOfLooping)
{
    TTCPBlockSocket sock([](TTCPBlockSocket& owner) -> std::unique_ptr<TCustomSSL> {
        return std::make_unique<TFixedAnswerSSL>(owner, 0, 0);
    });
    EXPECT_EQ(sock.SendBytes("data", 4), 0);
    EXPECT_EQ(sock.ErrorNumber, 10054);
}

TEST(TlsPluginAnswerTest, FailedReadIsReportedButNotCountedAsBytes)
{
    TStatusLog log;
    TTCPBlockSocket sock([](TTCPBlockSocket& owner) -> std::unique_ptr<TCustomSSL> {
        return std::make_unique<TFixedAnswerSSL>(owner, -1, 1);
    });
    log.Attach(sock);
    int monitored = 0;
    sock.OnMonitor = [&](TBlockSocket*, bool, const void*, int) { ++monitored; };
    char buffer[16];
    EXPECT_EQ(sock.ReceiveRaw(buffer, sizeof buffer), -1);
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_EQ(sock.ErrorText, "fixed failure");
    EXPECT_EQ(log.ValuesOf(HR_ReadCount), std::vector<std::string>{"-1"});
    EXPECT_EQ(sock.BytesReceived, 0);
    EXPECT_EQ(monitored, 0);
}

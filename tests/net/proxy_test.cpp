#include "freeport.h"
#include "loopbackpeer.h"
#include "nginxserver.h"
#include "proxyservers.h"
#include "statuslog.h"
#include "tcpblocksocket.h"
#include "testcertificates.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <mutex>

using namespace quorlane::net;
using namespace quorlane::testsupport;

namespace {

// The target behind the proxy: answers the first line it receives with "echo: " and that line.
class TEchoTarget
{
public:
    explicit TEchoTarget(int connections = 1)
        : FPeer(
              [](int handle) {
                  std::string line;
                  char c = 0;
                  while (recv(handle, &c, 1, 0) == 1 && c != '\n') {
                      line += c;
                  }
                  TLoopbackPeer::SendAll(handle, "echo: " + line + "\n");
              },
              connections)
    {
    }

    std::string PortText() const { return FPeer.PortText(); }
    int Port() const { return FPeer.Port(); }

private:
    TLoopbackPeer FPeer;
};

// A scripted proxy: records the bytes it receives before answering with the given replies, one per read.
class TScriptedProxy
{
public:
    explicit TScriptedProxy(std::vector<std::string> replies)
        : FPeer([this, replies = std::move(replies)](int handle) {
              char buffer[1024];
              for (const std::string& reply : replies) {
                  const ssize_t n = recv(handle, buffer, sizeof buffer, 0);
                  if (n <= 0) {
                      return;
                  }
                  {
                      const std::lock_guard lock(FMutex);
                      FReceived.append(buffer, static_cast<std::size_t>(n));
                  }
                  TLoopbackPeer::SendAll(handle, reply);
              }
              TLoopbackPeer::ReceiveAll(handle, 300);
          })
    {
    }

    std::string PortText() const { return FPeer.PortText(); }
    std::string Received()
    {
        FPeer.Join();
        const std::lock_guard lock(FMutex);
        return FReceived;
    }

private:
    std::mutex FMutex;
    std::string FReceived;
    TLoopbackPeer FPeer;
};

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int v : values) {
        bytes += static_cast<char>(v);
    }
    return bytes;
}

std::string Echo(TTCPBlockSocket& sock)
{
    sock.SendText("ping\n");
    return sock.ReadUntil(5000, "\n");
}

} // namespace

TEST(HttpTunnelTest, TinyproxyOpensATunnelToTheTarget)
{
    TTinyproxyServer proxy;
    TEchoTarget target;
    TStatusLog log;
    TTCPBlockSocket sock;
    log.Attach(sock);
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = proxy.PortText();

    sock.ConnectTo("127.0.0.1", target.PortText());

    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << proxy.Log();
    EXPECT_TRUE(sock.TunnelOpen);
    EXPECT_EQ(sock.RemoteIPText(), "127.0.0.1");
    EXPECT_EQ(sock.RemotePortNumber(), target.Port());
    EXPECT_EQ(log.ValuesOf(HR_Connect), std::vector<std::string>{"127.0.0.1:" + proxy.PortText()});
    EXPECT_EQ(Echo(sock), "echo: ping");
}

TEST(HttpTunnelTest, BasicAuthenticationWithRightAndWrongPassword)
{
    TTinyproxyServer proxy("quorlane", "tunnelpass");
    TEchoTarget target(3);
    for (const auto& [user, password, opens] : {std::tuple{"quorlane", "tunnelpass", true},
                                                std::tuple{"quorlane", "wrong", false}, std::tuple{"", "", false}}) {
        SCOPED_TRACE(std::string("user ") + user + " password " + password);
        TTCPBlockSocket sock;
        sock.HTTPTunnelIP = "127.0.0.1";
        sock.HTTPTunnelPort = proxy.PortText();
        sock.HTTPTunnelUser = user;
        sock.HTTPTunnelPass = password;
        sock.ConnectTo("127.0.0.1", target.PortText());
        if (opens) {
            ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << proxy.Log();
            EXPECT_EQ(Echo(sock), "echo: ping");
        } else {
            // tinyproxy answers a wrong password with 401, no password with 407: both are refusals.
            EXPECT_EQ(sock.ErrorNumber, 10091);
            EXPECT_EQ(sock.ErrorText, "Network subsystem is unusable");
            EXPECT_FALSE(sock.TunnelOpen);
        }
    }
}

TEST(HttpTunnelTest, RequestNamesTheTargetAndRefusalIs10091)
{
    TScriptedProxy proxy({"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n"});
    TTCPBlockSocket sock;
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = proxy.PortText();
    sock.HTTPTunnelUser = "u";
    sock.HTTPTunnelPass = "p";
    sock.ConnectTo("::1", "https");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_EQ(proxy.Received(), "CONNECT [::1]:443 HTTP/1.0\r\nProxy-Authorization: Basic dTpw\r\n\r\n");
    EXPECT_EQ(sock.TunnelTargetHost, "[::1]");
    EXPECT_EQ(sock.TunnelTargetPort, "443");
}

TEST(HttpTunnelTest, SuccessAnswerOpensTheTunnelToANamedTarget)
{
    TScriptedProxy proxy({"HTTP/1.1 200 Connection established\r\nProxy-agent: test\r\n\r\n"});
    TTCPBlockSocket sock;
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = proxy.PortText();
    sock.ConnectTo("example.invalid", "8443");
    EXPECT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_TRUE(sock.TunnelOpen);
    EXPECT_EQ(sock.RemoteIPText(), "example.invalid");
    EXPECT_EQ(sock.RemotePortNumber(), 8443);
}

TEST(HttpTunnelTest, TlsRunsThroughTheTunnel)
{
    TTempDir dir;
    TTestCertificates certificates(dir);
    const TKeyPair pair = certificates.Issue("localhost");
    TNginxServer nginx({"", "location = /hello { return 200 \"tunnelled\"; }", pair.CertificateFile, pair.KeyFile});
    TTinyproxyServer proxy;
    TTCPBlockSocket sock;
    sock.ConvertLineEnd = true;
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = proxy.PortText();
    sock.ConnectTo("127.0.0.1", std::to_string(nginx.Port()));
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    sock.Tls->VerifyCert = true;
    sock.Tls->SetCertCAFile(certificates.CAFile());
    sock.Tls->SNIHost = "localhost";
    sock.StartTls();
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    sock.SendText("GET /hello HTTP/1.0\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(sock.ReadLine(5000), "HTTP/1.1 200 OK");
    TMemoryStream answer;
    sock.ReadStreamUntilClose(answer, 5000);
    EXPECT_TRUE(answer.View().ends_with("\r\n\r\ntunnelled")) << answer.View();
}

TEST(HttpTunnelTest, UnreachableProxyGivesTheConnectError)
{
    TTCPBlockSocket sock;
    sock.HTTPTunnelIP = "127.0.0.1";
    sock.HTTPTunnelPort = std::to_string(FreeLoopbackPort());
    sock.ConnectTo("127.0.0.1", "443");
    EXPECT_EQ(sock.ErrorNumber, 10061);
}

TEST(SocksTest, Socks5WithoutAuthenticationThroughDante)
{
    TDanteServer proxy;
    TEchoTarget target;
    TStatusLog log;
    TTCPBlockSocket sock;
    log.Attach(sock);
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();

    sock.ConnectTo("127.0.0.1", target.PortText());

    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << proxy.Log();
    EXPECT_TRUE(sock.UsingSocks);
    EXPECT_EQ(sock.SocksReplyCode, 0);
    EXPECT_EQ(sock.RemoteIPText(), "127.0.0.1");
    EXPECT_EQ(sock.RemotePortNumber(), target.Port());
    EXPECT_EQ(sock.LocalIPText(), "127.0.0.1");
    EXPECT_GT(sock.LocalPortNumber(), 0);
    const std::string targetText = "127.0.0.1:" + target.PortText();
    EXPECT_EQ(log.ValuesOf(HR_Connect), (std::vector<std::string>{"127.0.0.1:" + proxy.PortText(), targetText}));
    EXPECT_EQ(Echo(sock), "echo: ping");
}

TEST(SocksTest, Socks5LetsTheProxyResolveTheName)
{
    TDanteServer proxy;
    TEchoTarget target;
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();
    sock.ConnectTo("localhost", target.PortText());
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << proxy.Log();
    EXPECT_EQ(Echo(sock), "echo: ping");
}

TEST(SocksTest, Socks5UserAndPasswordThroughDante)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "dante's password check needs a private password database, which needs root";
    }
    TDanteServer proxy("qlsocks", "socks-secret");
    TEchoTarget target(3);
    for (const auto& [user, password, connects] : {std::tuple{"qlsocks", "socks-secret", true},
                                                   std::tuple{"qlsocks", "wrong", false}, std::tuple{"", "", false}}) {
        SCOPED_TRACE(std::string("user ") + user + " password " + password);
        TTCPBlockSocket sock;
        sock.SocksIP = "127.0.0.1";
        sock.SocksPort = proxy.PortText();
        sock.SocksUsername = user;
        sock.SocksPassword = password;
        sock.ConnectTo("127.0.0.1", target.PortText());
        if (connects) {
            ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << proxy.Log();
            EXPECT_EQ(Echo(sock), "echo: ping");
        } else {
            EXPECT_EQ(sock.ErrorNumber, 10091) << sock.ErrorText;
            EXPECT_FALSE(sock.UsingSocks);
        }
    }
}

TEST(SocksTest, Socks4WithAnAddressThroughDante)
{
    TDanteServer proxy;
    TEchoTarget target;
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();
    sock.SocksType = ST_Socks4;
    sock.SocksUsername = "anyone";
    sock.ConnectTo("127.0.0.1", target.PortText());
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText << "\n" << proxy.Log();
    EXPECT_EQ(sock.SocksReplyCode, 90);
    EXPECT_EQ(Echo(sock), "echo: ping");
}

TEST(SocksTest, Socks4NameFormCarriesTheUserAndTheName)
{
    TScriptedProxy proxy({Bytes({0, 90, 0x1F, 0x90, 127, 0, 0, 1})});
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();
    sock.SocksType = ST_Socks4;
    sock.SocksUsername = "id";
    sock.ConnectTo("board.example", "8080");
    EXPECT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_EQ(proxy.Received(),
              Bytes({4, 1, 0x1F, 0x90, 0, 0, 0, 1}) + "id" + Bytes({0}) + "board.example" + Bytes({0}));
    EXPECT_EQ(sock.SocksReplyIP, "127.0.0.1");
    EXPECT_EQ(sock.SocksReplyPort, "8080");
}

TEST(SocksTest, Socks4RefusalIs10091)
{
    TScriptedProxy proxy({Bytes({0, 91, 0, 0, 0, 0, 0, 0})});
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();
    sock.SocksType = ST_Socks4;
    sock.ConnectTo("10.1.2.3", "80");
    EXPECT_EQ(sock.ErrorNumber, 10091);
    EXPECT_EQ(sock.SocksReplyCode, 91);
    EXPECT_EQ(proxy.Received(), Bytes({4, 1, 0, 80, 10, 1, 2, 3, 0}));
}

TEST(SocksTest, Socks5WithLocalResolutionSendsTheAddress)
{
    const std::string reply = Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x30, 0x39});
    TScriptedProxy proxy({Bytes({5, 0}), reply});
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();
    sock.SocksResolver = false;
    sock.ConnectTo("localhost", "80");
    EXPECT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_EQ(proxy.Received(), Bytes({5, 1, 0}) + Bytes({5, 1, 0, 1, 127, 0, 0, 1, 0, 80}));
    EXPECT_EQ(sock.LocalIPText(), "127.0.0.1");
    EXPECT_EQ(sock.LocalPortNumber(), 12345);
}

TEST(SocksTest, Socks5RequestForIPv6AndReplyWithAName)
{
    const std::string reply = Bytes({5, 0, 0, 3, 4}) + "host" + Bytes({0, 1});
    TScriptedProxy proxy({Bytes({5, 0}), reply});
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();
    sock.ConnectTo("2001:db8::1", "443");
    EXPECT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_EQ(proxy.Received(),
              Bytes({5, 1, 0}) + Bytes({5, 1, 0, 4, 0x20, 1, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xBB}));
    EXPECT_EQ(sock.SocksReplyIP, "host");
    EXPECT_EQ(sock.SocksReplyPort, "1");
}

TEST(SocksTest, Socks5ReplyWithUnknownAddressTypeFails)
{
    TScriptedProxy proxy({Bytes({5, 0}), Bytes({5, 0, 0, 9, 0, 0})});
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.PortText();
    sock.ConnectTo("127.0.0.1", "80");
    EXPECT_EQ(sock.ErrorNumber, 10091);
}

TEST(SocksTest, SilentProxyTimesOut)
{
    TLoopbackPeer silent([](int handle) { TLoopbackPeer::ReceiveAll(handle, 2000); });
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = silent.PortText();
    sock.SocksTimeout = 200;
    sock.ConnectTo("127.0.0.1", "80");
    EXPECT_EQ(sock.ErrorNumber, 10060);
}

TEST(SocksBindTest, ListeningAndAcceptingThroughDante)
{
    TDanteServer proxy;
    TStatusLog log;
    TTCPBlockSocket listener;
    listener.SocksIP = "127.0.0.1";
    listener.SocksPort = proxy.PortText();
    log.Attach(listener);
    listener.StartListening();
    ASSERT_EQ(listener.ErrorNumber, 0) << listener.ErrorText << "\n" << proxy.Log();
    EXPECT_TRUE(listener.UsingSocks);
    EXPECT_EQ(listener.LocalIPText(), "127.0.0.1");
    ASSERT_GT(listener.LocalPortNumber(), 0);
    EXPECT_EQ(log.ValuesOf(HR_Listen).size(), 1u);

    TTCPBlockSocket client;
    client.ConnectTo(listener.LocalIPText(), std::to_string(listener.LocalPortNumber()));
    ASSERT_EQ(client.ErrorNumber, 0) << client.ErrorText;
    EXPECT_EQ(listener.AcceptClient(), listener.Handle);
    ASSERT_EQ(listener.ErrorNumber, 0) << listener.ErrorText << "\n" << proxy.Log();
    EXPECT_EQ(listener.RemoteIPText(), "127.0.0.1");
    EXPECT_EQ(listener.RemotePortNumber(), client.LocalPortNumber());

    client.SendText("through the proxy\n");
    EXPECT_EQ(listener.ReadUntil(5000, "\n"), "through the proxy");
}

TEST(SocksBindTest, RefusedBindIs11003)
{
    TScriptedProxy proxy({Bytes({5, 0}), Bytes({5, 7, 0, 1, 0, 0, 0, 0, 0, 0})});
    TTCPBlockSocket listener;
    listener.SocksIP = "127.0.0.1";
    listener.SocksPort = proxy.PortText();
    listener.StartListening();
    EXPECT_EQ(listener.ErrorNumber, 11003);
    EXPECT_EQ(listener.ErrorText, "Non recoverable error");
    EXPECT_EQ(listener.SocksReplyCode, 7);
}

#include "freeport.h"
#include "loopbackpeer.h"
#include "socketerror.h"
#include "statuslog.h"
#include "tcpblocksocket.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace quorlane::net;
using quorlane::testsupport::FreeLoopbackPort;
using quorlane::testsupport::TLoopbackPeer;

TEST(ConnectTest, ClosedPortIsRefusedAndReportedBeforeTheConnectReport)
{
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);
    const std::string port = std::to_string(FreeLoopbackPort());

    sock.ConnectTo("127.0.0.1", port);

    EXPECT_EQ(sock.ErrorNumber, 10061);
    EXPECT_EQ(sock.ErrorText, "Connection refused");
    ASSERT_GE(log.Entries.size(), 2u);
    const auto& error = log.Entries[log.Entries.size() - 2];
    EXPECT_EQ(error.first, HR_Error);
    EXPECT_EQ(error.second, "10061,Connection refused");
    EXPECT_EQ(log.Entries.back().first, HR_Connect);
    EXPECT_EQ(log.Entries.back().second, "127.0.0.1:" + port);
}

TEST(ConnectTest, NameUnderInvalidIsNotFoundAndCreatesNoHandle)
{
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);

    sock.ConnectTo("firmware.invalid", "443");

    EXPECT_EQ(sock.ErrorNumber, 11001);
    EXPECT_EQ(sock.ErrorText, "Host not found");
    EXPECT_EQ(sock.Handle, InvalidSocket);
    EXPECT_EQ(log.ValuesOf(HR_ResolvingBegin), std::vector<std::string>{"firmware.invalid:443"});
    EXPECT_EQ(log.ValuesOf(HR_ResolvingEnd), std::vector<std::string>{":0"});
    EXPECT_TRUE(log.ValuesOf(HR_SocketCreate).empty());
    EXPECT_EQ(log.Reasons().back(), HR_Connect);
}

TEST(ConnectTest, SuccessfulConnectReportsEveryStepAndCallsTheHooks)
{
    TLoopbackPeer peer([](int) {});
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);
    int created = 0;
    int connected = 0;
    sock.OnCreateSocket = [&](TBlockSocket*) { ++created; };
    sock.OnAfterConnect = [&](TBlockSocket*) { ++connected; };

    sock.ConnectTo("127.0.0.1", peer.PortText());

    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    const std::string target = "127.0.0.1:" + peer.PortText();
    const std::vector<std::pair<THookSocketReason, std::string>> expected{
        {HR_ResolvingBegin, target}, {HR_ResolvingEnd, target}, {HR_SocketCreate, "IPv4"}, {HR_Connect, target}};
    EXPECT_EQ(log.Entries, expected);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(sock.RemoteIPText(), "127.0.0.1");
    EXPECT_EQ(sock.RemotePortNumber(), peer.Port());
    EXPECT_EQ(sock.LocalIPText(), "127.0.0.1");
    EXPECT_GT(sock.LocalPortNumber(), 0);
}

TEST(ConnectTest, FailedConnectDoesNotCallTheAfterConnectHook)
{
    TTCPBlockSocket sock;
    bool connected = false;
    sock.OnAfterConnect = [&](TBlockSocket*) { connected = true; };
    sock.ConnectTo("127.0.0.1", std::to_string(FreeLoopbackPort()));
    EXPECT_FALSE(connected);
}

TEST(ConnectTest, RaiseExceptThrowsTheNumberedError)
{
    TTCPBlockSocket sock;
    sock.RaiseExcept = true;
    try {
        sock.ConnectTo("127.0.0.1", std::to_string(FreeLoopbackPort()));
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_STREQ(e.what(), "TCP/IP Socket error 10061: Connection refused");
        EXPECT_EQ(e.ErrorCode, 10061);
        EXPECT_EQ(e.ErrorMessage, "Connection refused");
    }
}

TEST(BindTest, AnyAddressOnAFreshSocketDoesNothing)
{
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);
    sock.BindTo("0.0.0.0", "0");
    EXPECT_EQ(sock.Handle, InvalidSocket);
    EXPECT_TRUE(log.Entries.empty());
    EXPECT_FALSE(sock.IsBound);
}

TEST(BindTest, PortInUseIsReportedAndLeavesTheSocketUnbound)
{
    TTCPBlockSocket first;
    first.BindTo("127.0.0.1", "0");
    first.StartListening();
    TTCPBlockSocket second;
    second.BindTo("127.0.0.1", std::to_string(first.LocalPortNumber()));
    EXPECT_EQ(second.ErrorNumber, 10048);
    EXPECT_EQ(second.ErrorText, "Address already in use");
    EXPECT_FALSE(second.IsBound);
}

TEST(ListenTest, OwnListeningSocketAcceptsAndTalks)
{
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket server;
    log.Attach(server);
    server.BindTo("127.0.0.1", "0");
    ASSERT_EQ(server.ErrorNumber, 0) << server.ErrorText;
    EXPECT_TRUE(server.IsBound);
    server.StartListening();
    ASSERT_EQ(server.ErrorNumber, 0) << server.ErrorText;
    const std::string port = std::to_string(server.LocalPortNumber());

    TTCPBlockSocket client;
    client.ConnectTo("127.0.0.1", port);
    ASSERT_EQ(client.ErrorNumber, 0) << client.ErrorText;
    TTCPBlockSocket accepted;
    accepted.AdoptHandle(server.AcceptClient());
    ASSERT_EQ(server.ErrorNumber, 0) << server.ErrorText;
    EXPECT_EQ(accepted.RemotePortNumber(), client.LocalPortNumber());

    client.SendText("ping\r\n");
    EXPECT_EQ(accepted.ReadLine(2000), "ping");
    accepted.SendText("pong\r\n");
    EXPECT_EQ(client.ReadLine(2000), "pong");
    EXPECT_EQ(client.BytesSent, 6);
    EXPECT_EQ(client.BytesReceived, 6);
    EXPECT_EQ(log.ValuesOf(HR_Bind), std::vector<std::string>{"127.0.0.1:0"});
    EXPECT_EQ(log.ValuesOf(HR_Listen).size(), 1u);
    EXPECT_EQ(log.ValuesOf(HR_Accept).size(), 1u);
}

TEST(ListenTest, IPv6LoopbackGivesAnIPv6Handle)
{
    TTCPBlockSocket server;
    server.BindTo("::1", "0");
    if (server.ErrorNumber == 10047 || server.ErrorNumber == 10049) {
        GTEST_SKIP() << "no IPv6 loopback here: " << server.ErrorText;
    }
    ASSERT_EQ(server.ErrorNumber, 0) << server.ErrorText;
    server.StartListening();
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket client;
    log.Attach(client);
    client.ConnectTo("::1", std::to_string(server.LocalPortNumber()));
    ASSERT_EQ(client.ErrorNumber, 0) << client.ErrorText;
    EXPECT_TRUE(client.UsesIPv6);
    EXPECT_EQ(log.ValuesOf(HR_SocketCreate), std::vector<std::string>{"IPv6"});
    EXPECT_EQ(client.RemoteIPText(), "::1");
}

TEST(OptionTest, QueuedOptionIsAppliedWhenTheHandleIsCreated)
{
    TLoopbackPeer peer([](int) {});
    TTCPBlockSocket sock;
    sock.RequestSendBufferSize(50000);
    EXPECT_EQ(sock.QueuedOptions.size(), 1u);
    sock.ConnectTo("127.0.0.1", peer.PortText());
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_TRUE(sock.QueuedOptions.empty());
    int size = 0;
    socklen_t length = sizeof size;
    getsockopt(sock.Handle, SOL_SOCKET, SO_SNDBUF, &size, &length);
    EXPECT_EQ(size, 100000); // Linux doubles the requested size for its bookkeeping
}

TEST(OptionTest, CloseBeforeConnectDiscardsQueuedOptionsAndRestoresFamily)
{
    TTCPBlockSocket sock;
    sock.SetFamily(SF_IP4);
    sock.RequestReceiveBufferSize(50000);
    sock.CloseConnection();
    EXPECT_TRUE(sock.QueuedOptions.empty());
    EXPECT_EQ(sock.Family(), SF_IP4);
}

TEST(OptionTest, NonBlockingOptionSwitchesTheHandle)
{
    TLoopbackPeer peer([](int) {});
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    sock.QueueOption(TSocketOption{OptNonBlock, true, 0});
    EXPECT_TRUE(sock.NonBlocking);
    EXPECT_NE(fcntl(sock.Handle, F_GETFL) & O_NONBLOCK, 0);
}

TEST(PeerCloseTest, WritingToAClosedPeerGivesAnErrorNotASignal)
{
    signal(SIGPIPE, SIG_DFL); // a missing MSG_NOSIGNAL would end this test program
    TLoopbackPeer peer([](int) {});
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    peer.Join();
    EXPECT_EQ(sock.ReadLine(2000), "");
    EXPECT_EQ(sock.ErrorNumber, 10054);
    const std::string block(100000, 'x');
    for (int i = 0; i < 5 && sock.ErrorNumber == 0; ++i) {
        sock.SendText(block);
    }
    sock.SendText(block);
    EXPECT_EQ(sock.ErrorNumber, 10054);
    EXPECT_EQ(sock.ErrorText, "Connection reset by peer");
}

TEST(PeerCloseTest, WritingAfterShuttingDownGivesAnErrorNotASignal)
{
    signal(SIGPIPE, SIG_DFL);
    TLoopbackPeer peer([](int handle) { TLoopbackPeer::ReceiveAll(handle, 2000); });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    shutdown(sock.Handle, SHUT_WR); // the next send fails with EPIPE, the error that raises the signal
    EXPECT_EQ(sock.SendBytes("x", 1), 0);
    EXPECT_EQ(sock.ErrorNumber, 10054);
}

TEST(HighDescriptorTest, WaitsWorkForHandlesAbove1023)
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < 1100) {
        GTEST_SKIP() << "descriptor limit too low";
    }
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    // Occupy descriptors 3..1100 so the socket's handle lands above 1023.
    std::vector<int> fillers;
    while (fillers.empty() || (fillers.back() >= 0 && fillers.back() <= 1100)) {
        fillers.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    TLoopbackPeer peer([](int handle) {
        TLoopbackPeer::ReceiveAll(handle, 300);
        TLoopbackPeer::SendAll(handle, "late\r\n");
    });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_GT(sock.Handle, 1023);
    EXPECT_FALSE(sock.WaitReadable(50));
    EXPECT_EQ(sock.ReadLine(5000), "late");
    for (const int fd : fillers) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

TEST(NameLookupTest, SocketLooksUpNamesAddressesAndServices)
{
    TTCPBlockSocket sock;
    EXPECT_EQ(sock.ResolveHost("localhost"), "127.0.0.1");
    EXPECT_EQ(sock.ReverseLookup("127.0.0.1"), "localhost");
    EXPECT_EQ(sock.ReverseLookup("localhost"), "localhost");
    EXPECT_EQ(sock.ServicePort("https"), 443);
    EXPECT_FALSE(sock.LocalHostName().empty());
    std::vector<std::string> list;
    sock.ResolveHostAll("gone.invalid", list);
    EXPECT_EQ(list, std::vector<std::string>{"0.0.0.0"});
}

TEST(ErrorTextTest, NumbersHaveFixedTexts)
{
    EXPECT_EQ(TBlockSocket::GetErrorDesc(0), "");
    EXPECT_EQ(TBlockSocket::GetErrorDesc(10053), "Software caused connection abort");
    EXPECT_EQ(TBlockSocket::GetErrorDesc(10091), "Network subsystem is unusable");
    EXPECT_EQ(TBlockSocket::GetErrorDesc(11004), "Valid name, no data record of requested type");
    EXPECT_EQ(TBlockSocket::GetErrorDesc(12345), "Other Winsock error (12345)");
}

TEST(ErrorTextTest, WouldBlockIsRecordedWithoutReport)
{
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);
    sock.RaiseExcept = true;
    sock.ErrorNumber = 10035;
    EXPECT_NO_THROW(sock.ReportError());
    EXPECT_EQ(sock.ErrorText, "Operation would block");
    EXPECT_TRUE(log.Entries.empty());
}

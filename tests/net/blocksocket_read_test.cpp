#include "loopbackpeer.h"
#include "statuslog.h"
#include "tcpblocksocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <semaphore>
#include <thread>

using namespace quorlane::net;
using quorlane::testsupport::TLoopbackPeer;

namespace {

// Sends each packet only after the client has received the one before (the client's HR_ReadCount report releases
// the next), so every packet boundary reaches the reader as a boundary. Closes after the last packet.
class TLockstepPeer
{
public:
    explicit TLockstepPeer(std::vector<std::string> packets)
        : FPeer([this, packets = std::move(packets)](int handle) {
              for (std::size_t i = 0; i < packets.size(); ++i) {
                  TLoopbackPeer::SendAll(handle, packets[i]);
                  if (i + 1 < packets.size() && !FReceived.try_acquire_for(std::chrono::seconds(5))) {
                      return;
                  }
              }
          })
    {
    }

    void Connect(TTCPBlockSocket& sock)
    {
        sock.OnStatus = [this](TBlockSocket*, THookSocketReason reason, const std::string&) {
            if (reason == HR_ReadCount) {
                FReceived.release();
            }
        };
        sock.ConnectTo("127.0.0.1", FPeer.PortText());
    }

private:
    std::counting_semaphore<1024> FReceived{0};
    TLoopbackPeer FPeer;
};

std::vector<std::string> SplitAt(const std::string& text, std::size_t at)
{
    return {text.substr(0, at), text.substr(at)};
}

std::string Pattern(std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>(i * 7 % 251);
    }
    return bytes;
}

} // namespace

TEST(ReadLineTest, EveryLineEndKindSplitAtEveryPacketBoundary)
{
    const std::string input = "a\r\nb\nc\rd\n\r";
    std::vector<std::vector<std::string>> scripts;
    for (std::size_t at = 1; at < input.size(); ++at) {
        scripts.push_back(SplitAt(input, at));
    }
    std::vector<std::string> bytes;
    for (const char c : input) {
        bytes.emplace_back(1, c);
    }
    scripts.push_back(bytes);

    for (const auto& packets : scripts) {
        SCOPED_TRACE("first packet: " + std::to_string(packets.front().size()) + " bytes of " +
                     std::to_string(packets.size()) + " packets");
        TLockstepPeer peer(packets);
        TTCPBlockSocket sock;
        sock.ConvertLineEnd = true;
        peer.Connect(sock);
        ASSERT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
        for (const std::string expected : {"a", "b", "c", "d"}) {
            EXPECT_EQ(sock.ReadLine(5000), expected);
            EXPECT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
        }
        // The closing CR belonged to the last line end: no empty line follows, only the end of the connection.
        EXPECT_EQ(sock.ReadLine(5000), "");
        EXPECT_EQ(sock.ErrorNumber, 10054);
        EXPECT_EQ(sock.PendingInput, "");
    }
}

TEST(ReadLineTest, WithoutConversionOnlyCrLfEndsALine)
{
    TLockstepPeer peer({"a\nb\rc\r", "\nd\r\n"});
    TTCPBlockSocket sock;
    peer.Connect(sock);
    EXPECT_EQ(sock.ReadLine(5000), "a\nb\rc");
    EXPECT_EQ(sock.ReadLine(5000), "d");
}

TEST(ReadLineTest, PeerEndingMidLineLeavesThePartialLinePending)
{
    TLockstepPeer peer({"whole\r\npart"});
    TTCPBlockSocket sock;
    sock.ConvertLineEnd = true;
    peer.Connect(sock);
    EXPECT_EQ(sock.ReadLine(5000), "whole");
    EXPECT_EQ(sock.ReadLine(5000), "");
    EXPECT_EQ(sock.ErrorNumber, 10054);
    EXPECT_EQ(sock.ErrorText, "Connection reset by peer");
    EXPECT_EQ(sock.PendingInput, "part");
}

TEST(ReadLineTest, TimeOutKeepsWhatArrivedForTheNextRead)
{
    std::binary_semaphore more{0};
    TLoopbackPeer peer([&](int handle) {
        TLoopbackPeer::SendAll(handle, "abc");
        if (more.try_acquire_for(std::chrono::seconds(5))) {
            TLoopbackPeer::SendAll(handle, "def\r\n");
        }
    });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    EXPECT_EQ(sock.ReadLine(200), "");
    EXPECT_EQ(sock.ErrorNumber, 10060);
    EXPECT_EQ(sock.ErrorText, "Connection timed out");
    EXPECT_EQ(sock.PendingInput, "abc");
    more.release();
    EXPECT_EQ(sock.ReadLine(5000), "abcdef");
}

TEST(ReadLineTest, LineLongerThanTheLimitFails)
{
    TLockstepPeer peer({std::string(40, 'x') + "\r\n"});
    TTCPBlockSocket sock;
    sock.MaxLineLength = 16;
    peer.Connect(sock);
    EXPECT_EQ(sock.ReadLine(5000), "");
    EXPECT_EQ(sock.ErrorNumber, 10055);
}

TEST(ReadUntilTest, OwnTerminatorLeavesTheRestPending)
{
    TLockstepPeer peer({"head", "erEND", "tail"});
    TTCPBlockSocket sock;
    peer.Connect(sock);
    EXPECT_EQ(sock.ReadUntil(5000, "END"), "header");
    EXPECT_EQ(sock.ReadUntil(5000, "END"), "");
    EXPECT_EQ(sock.ErrorNumber, 10054);
    EXPECT_EQ(sock.PendingInput, "tail");
}

TEST(ReadExactTest, TenBytesFromPacketsOfFourAndEight)
{
    TLockstepPeer peer({"0123", "456789AB"});
    TTCPBlockSocket sock;
    peer.Connect(sock);
    char buffer[10];
    EXPECT_EQ(sock.ReadExact(buffer, 10, 5000), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(sock.PendingInput, "AB");
    EXPECT_EQ(sock.ReadExactText(2, 5000), "AB");
}

TEST(ReadExactTest, ConnectionEndingEarlyReportsWhatWasCopied)
{
    TLockstepPeer peer({"0123"});
    TTCPBlockSocket sock;
    peer.Connect(sock);
    char buffer[10];
    EXPECT_EQ(sock.ReadExact(buffer, 10, 5000), 4);
    EXPECT_EQ(sock.ErrorNumber, 10054);
}

TEST(ReadStreamTest, SeventyThousandBytesArriveWhole)
{
    const std::string body = Pattern(70000);
    TLoopbackPeer peer([&](int handle) { TLoopbackPeer::SendAll(handle, body); });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    TMemoryStream stream;
    sock.ReadStreamOfLength(stream, 5000, 70000);
    EXPECT_EQ(sock.ErrorNumber, 0) << sock.ErrorText;
    EXPECT_EQ(stream.Size(), 70000);
    EXPECT_TRUE(stream.View() == body);
}

TEST(ReadStreamTest, ConnectionEndingAfter66000KeepsOnlyTheWholePiece)
{
    const std::string body = Pattern(66000);
    TLoopbackPeer peer([&](int handle) { TLoopbackPeer::SendAll(handle, body); });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    TMemoryStream stream;
    sock.ReadStreamOfLength(stream, 5000, 70000);
    EXPECT_EQ(sock.ErrorNumber, 10054);
    EXPECT_EQ(stream.Size(), 65536);
    EXPECT_TRUE(stream.View() == body.substr(0, 65536));
}

TEST(ReadStreamTest, ReadUntilCloseTakesEverything)
{
    const std::string body = Pattern(200000);
    TLoopbackPeer peer([&](int handle) { TLoopbackPeer::SendAll(handle, body); });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    TMemoryStream stream;
    sock.ReadStreamUntilClose(stream, 5000);
    EXPECT_EQ(sock.ErrorNumber, 10054);
    EXPECT_TRUE(stream.View() == body);
}

TEST(StopFlagTest, SetFromAHookStopsTheNextSendAndReceive)
{
    TLoopbackPeer peer([](int handle) {
        TLoopbackPeer::ReceiveAll(handle, 300);
        TLoopbackPeer::SendAll(handle, "data");
    });
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    sock.OnStatus = [&](TBlockSocket* sender, THookSocketReason reason, const std::string& value) {
        log.Entries.emplace_back(reason, value);
        if (reason == HR_WriteCount || reason == HR_CanRead) {
            sender->StopFlag = true;
        }
    };
    sock.ConnectTo("127.0.0.1", peer.PortText());
    sock.SendText("first");
    EXPECT_EQ(sock.ErrorNumber, 0);
    EXPECT_EQ(sock.SendBytes("second", 6), 0);
    EXPECT_EQ(sock.ErrorNumber, 10053);
    EXPECT_FALSE(sock.StopFlag);

    EXPECT_EQ(sock.ReadAvailable(5000), "");
    EXPECT_EQ(sock.ErrorNumber, 10053);
    for (const std::string& error : log.ValuesOf(HR_Error)) {
        EXPECT_EQ(error, "10053,Software caused connection abort");
    }
    EXPECT_EQ(sock.ReadAvailable(5000), "data");
}

TEST(HookTest, ReadFilterMayShortenButNotLengthen)
{
    TLockstepPeer peer({"abcdef", "xyz"});
    TTCPBlockSocket sock;
    peer.Connect(sock);
    sock.OnReadFilter = [](TBlockSocket*, std::string& value) {
        value = value.size() > 3 ? value.substr(0, 2) : value + "++++";
    };
    EXPECT_EQ(sock.ReadAvailable(5000), "ab");
    EXPECT_EQ(sock.ReadAvailable(5000), "xyz");
}

TEST(HookTest, MonitorSeesTheWholeBufferAndPiecesAreReported)
{
    TLoopbackPeer peer([](int handle) { TLoopbackPeer::ReceiveAll(handle, 500); });
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);
    std::vector<std::pair<bool, int>> seen;
    sock.OnMonitor = [&](TBlockSocket*, bool writing, const void*, int length) { seen.emplace_back(writing, length); };
    sock.ConnectTo("127.0.0.1", peer.PortText());
    sock.SendMaxChunk = 4;
    sock.SendText("0123456789");
    EXPECT_EQ(seen, (std::vector<std::pair<bool, int>>{{true, 10}}));
    EXPECT_EQ(log.ValuesOf(HR_WriteCount), (std::vector<std::string>{"4", "4", "2"}));
    EXPECT_EQ(sock.BytesSent, 10);
}

TEST(HookTest, HeartbeatIsCalledInEveryRoundOfAWait)
{
    TLoopbackPeer peer([](int handle) { TLoopbackPeer::ReceiveAll(handle, 1000); });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    int beats = 0;
    sock.OnHeartbeat = [&](TBlockSocket*) { ++beats; };
    sock.HeartbeatRate = 20;
    EXPECT_FALSE(sock.WaitReadable(100));
    EXPECT_EQ(beats, 6); // the first poll is 100 mod 20 = 0 ms, then 100 div 20 + 1 rounds
}

TEST(HookTest, StopFlagFromTheHeartbeatEndsTheWait)
{
    TLoopbackPeer peer([](int handle) { TLoopbackPeer::ReceiveAll(handle, 1000); });
    TTCPBlockSocket sock;
    sock.ConnectTo("127.0.0.1", peer.PortText());
    int beats = 0;
    sock.OnHeartbeat = [&](TBlockSocket* sender) {
        ++beats;
        sender->StopFlag = true;
    };
    sock.HeartbeatRate = 20;
    EXPECT_FALSE(sock.WaitReadable(5000));
    EXPECT_EQ(beats, 1);
    EXPECT_FALSE(sock.StopFlag);
}

TEST(ThrottleTest, SendingAboveTheLimitReportsWaits)
{
    TLoopbackPeer peer([](int handle) { TLoopbackPeer::ReceiveAll(handle, 1000); });
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);
    sock.ConnectTo("127.0.0.1", peer.PortText());
    sock.MaxSendBandwidth = 2000;
    sock.SendMaxChunk = 100;
    sock.SendText(std::string(300, 'x'));
    EXPECT_EQ(sock.ErrorNumber, 0);
    const std::vector<std::string> waits = log.ValuesOf(HR_Wait);
    ASSERT_FALSE(waits.empty());
    for (const std::string& wait : waits) {
        EXPECT_GT(std::stoi(wait), 0);
        EXPECT_LE(std::stoi(wait), 50); // 100 bytes at 2000 bytes per second
    }
}

TEST(BinaryTransferTest, NumbersBlocksAndStreamsRoundTrip)
{
    TTCPBlockSocket server;
    server.BindTo("127.0.0.1", "0");
    server.StartListening();
    TTCPBlockSocket client;
    client.ConnectTo("127.0.0.1", std::to_string(server.LocalPortNumber()));
    TTCPBlockSocket peer;
    peer.AdoptHandle(server.AcceptClient());

    client.SendInt32(-2);
    EXPECT_EQ(peer.ReadExactText(4, 2000), std::string("\xfe\xff\xff\xff", 4));
    client.SendInt32(0x01020304);
    EXPECT_EQ(peer.ReadInt32(2000), 0x01020304);
    client.SendSizedBlock("hello");
    EXPECT_EQ(peer.ReadSizedBlock(2000), "hello");

    TMemoryStream out;
    WriteStreamText(out, Pattern(100000));
    out.SetPosition(0);
    client.SendStreamSizedNet(out);
    TMemoryStream in;
    peer.ReadStreamSizedNet(in, 2000);
    EXPECT_EQ(in.Size(), 100000);
    EXPECT_TRUE(in.View() == out.View());

    TMemoryStream empty;
    client.SendStreamSized(empty);
    client.SendOneByte(0x7F);
    EXPECT_EQ(peer.ReadOneByte(2000), 0x7F); // the empty stream sent nothing, not even its length
}

TEST(BinaryTransferTest, PeekLeavesTheByteInPlace)
{
    TLockstepPeer peer({"Q"});
    TTCPBlockSocket sock;
    peer.Connect(sock);
    EXPECT_EQ(sock.PeekOneByte(5000), 'Q');
    EXPECT_EQ(sock.ReadOneByte(5000), 'Q');
}

TEST(CloseTest, CloseSendsTheEndAndDrainsUnreadInput)
{
    std::string received;
    TLoopbackPeer peer([&](int handle) {
        TLoopbackPeer::SendAll(handle, "unread");
        received = TLoopbackPeer::ReceiveAll(handle, 5000);
    });
    TStatusLog log; // declared first: the socket reports its close while it is destroyed
    TTCPBlockSocket sock;
    log.Attach(sock);
    sock.ConnectTo("127.0.0.1", peer.PortText());
    sock.SendText("bye");
    ASSERT_TRUE(sock.WaitReadable(5000));
    sock.CloseConnection();
    peer.Join();
    EXPECT_EQ(received, "bye");
    EXPECT_EQ(sock.Handle, InvalidSocket);
    EXPECT_EQ(sock.ErrorNumber, 0);
    EXPECT_EQ(log.ValuesOf(HR_ReadCount), std::vector<std::string>{"6"});
    EXPECT_EQ(log.Reasons().back(), HR_SocketClose);
}

TEST(TimeOutTest, WithoutInterPacketTimeoutTheLimitCoversTheWholeRead)
{
    // A byte every 40 ms for about a second, never a line end: each wait is short, the whole read is not.
    const auto trickle = [](int handle) {
        for (int i = 0; i < 25; ++i) {
            TLoopbackPeer::SendAll(handle, "x");
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        TLoopbackPeer::ReceiveAll(handle, 2000);
    };
    TLoopbackPeer limitedPeer(trickle);
    TTCPBlockSocket limited;
    limited.InterPacketTimeout = false;
    limited.ConnectTo("127.0.0.1", limitedPeer.PortText());
    EXPECT_EQ(limited.ReadLine(300), "");
    EXPECT_EQ(limited.ErrorNumber, 10060);
    EXPECT_GT(limited.PendingInput.size(), 0u);
    EXPECT_LT(limited.PendingInput.size(), 20u);

    TLoopbackPeer perWaitPeer(trickle);
    TTCPBlockSocket perWait;
    perWait.ConnectTo("127.0.0.1", perWaitPeer.PortText());
    EXPECT_EQ(perWait.ReadLine(300), "");
    EXPECT_EQ(perWait.ErrorNumber, 10060);
    EXPECT_EQ(perWait.PendingInput, std::string(25, 'x'));
    limited.CloseConnection();
    perWait.CloseConnection();
}

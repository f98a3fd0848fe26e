#pragma once

#include "memorystream.h"
#include "socketlib.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::net {

enum TSocketFamily : std::uint8_t { SF_Any, SF_IP4, SF_IP6 };

// Why the socket itself ended an operation: its owner set StopFlag, or the Deadline passed.
enum TStopReason : std::uint8_t { SR_None, SR_StopFlag, SR_Deadline };

enum THookSocketReason : std::uint8_t {
    HR_ResolvingBegin,
    HR_ResolvingEnd,
    HR_SocketCreate,
    HR_SocketClose,
    HR_Bind,
    HR_Connect,
    HR_CanRead,
    HR_CanWrite,
    HR_Listen,
    HR_Accept,
    HR_ReadCount,
    HR_WriteCount,
    HR_Wait,
    HR_Error
};

class TBlockSocket;

using THookSocketStatus = std::function<void(TBlockSocket* Sender, THookSocketReason Reason, const std::string& Value)>;
using THookDataFilter = std::function<void(TBlockSocket* Sender, std::string& Value)>;
using THookCreateSocket = std::function<void(TBlockSocket* Sender)>;
using THookMonitor = std::function<void(TBlockSocket* Sender, bool Writing, const void* Buffer, int Len)>;
using THookAfterConnect = std::function<void(TBlockSocket* Sender)>;
using THookHeartbeat = std::function<void(TBlockSocket* Sender)>;

enum TSocketOptionKind : std::uint8_t {
    OptLinger,
    OptRecvBuffer,
    OptSendBuffer,
    OptNonBlock,
    OptRecvTimeout,
    OptSendTimeout,
    OptReuse,
    OptTTL,
    OptBroadcast,
    OptMulticastTTL,
    OptMulticastLoop
};

// An option requested while no handle existed; applied when the handle is created.
struct TSocketOption
{
    TSocketOptionKind Kind = OptLinger;
    bool Switch = false;
    int Value = 0;
};

// One platform socket handle behind blocking calls with time-outs, a receive buffer with line reading, numbered
// errors with fixed texts, optional exceptions and hooks that report every step. Not thread-safe: one thread uses
// a socket at a time; StopFlag is the one field another party may set while an operation runs.
// Every wait (connecting, TLS steps, reading, writing) runs in rounds of HeartbeatRate with OnHeartbeat between them,
// so an owner that processes its events there stays responsive and may set StopFlag; no wait reaches past Deadline.
class TBlockSocket
{
public:
    TBlockSocket();
    virtual ~TBlockSocket();
    TBlockSocket(const TBlockSocket&) = delete;
    TBlockSocket& operator=(const TBlockSocket&) = delete;

    THookSocketStatus OnStatus;
    THookDataFilter OnReadFilter;
    THookCreateSocket OnCreateSocket;
    THookMonitor OnMonitor;
    THookHeartbeat OnHeartbeat;
    TSockAddress LocalAddress{};
    TSockAddress RemoteAddress{};
    int Tag = 0;
    std::string PendingInput;
    bool RaiseExcept = false;
    bool NonBlocking = false;
    int MaxLineLength = 0;
    int MaxSendBandwidth = 0;
    std::uint32_t NextSendTick = 0;
    int MaxRecvBandwidth = 0;
    std::uint32_t NextRecvTick = 0;
    bool ConvertLineEnd = false;
    bool SawLoneCR = false;
    bool SawLoneLF = false;
    bool IsBound = false;
    TSocketFamily ConfiguredFamily = SF_Any;
    bool UsesIPv6 = false;
    bool PreferIP4 = true;
    std::vector<TSocketOption> QueuedOptions; // in the order they were requested
    bool InterPacketTimeout = true;
    TSocketSet ReadSet;
    std::int64_t BytesReceived = 0;
    std::int64_t BytesSent = 0;
    int SendMaxChunk = 65536;
    bool StopFlag = false;
    int NonblockSendTimeout = 15000;
    int HeartbeatRate = 0;
    // The moment every wait and transfer ends at, whatever the time-outs say: a peer that trickles cannot extend it.
    std::optional<std::chrono::steady_clock::time_point> Deadline;
    // Why the socket ended the last operation it stopped itself (WSAECONNABORTED for StopFlag, WSAETIMEDOUT for the
    // Deadline); SR_None until then. The owner resets it.
    TStopReason StopReason = SR_None;
    TSocket Handle = InvalidSocket;
    int ErrorNumber = 0;
    std::string ErrorText;
    // Set by the read that found the peer's orderly end, after which the error is WSAECONNRESET: a FIN on a plain
    // connection, the close_notify under TLS. A reset, or TLS ending without close_notify, leaves it false: a cut.
    bool OrderlyEnd = false;
    void* Owner = nullptr;

    TSocketFamily Family() const { return FFamily; }
    virtual void SetFamily(TSocketFamily value);
    void SetMaxBandwidth(int value);

    virtual void AdoptHandle(TSocket handle);
    virtual void SendStreamData(TMemoryStream& stream, bool withSize, bool networkOrder);
    virtual bool PollReadable(int ms);
    virtual void CloseConnection();
    virtual void AbortConnection();
    virtual void ConnectTo(const std::string& host, const std::string& port);
    virtual void StartListening();
    virtual TSocket AcceptClient();
    virtual int SendBytes(const void* buffer, int length);
    virtual void SendOneByte(std::uint8_t value);
    virtual void SendText(const std::string& text);
    virtual void SendInt32(std::int32_t value);
    virtual void SendSizedBlock(const std::string& text);
    virtual void SendStreamPlain(TMemoryStream& stream);
    virtual void SendStreamSized(TMemoryStream& stream);
    virtual void SendStreamSizedNet(TMemoryStream& stream);
    virtual int ReceiveRaw(void* buffer, int length);
    virtual int ReadExact(void* buffer, int length, int ms);
    virtual std::string ReadExactText(int length, int ms);
    virtual std::uint8_t ReadOneByte(int ms);
    virtual std::int32_t ReadInt32(int ms);
    virtual std::string ReadLine(int ms);
    virtual std::string ReadUntil(int ms, const std::string& terminator);
    virtual std::string ReadAvailable(int ms);
    virtual std::string ReadSizedBlock(int ms);
    virtual void ReadStreamUntilClose(TMemoryStream& stream, int ms);
    virtual void ReadStreamSized(TMemoryStream& stream, int ms);
    virtual void ReadStreamSizedNet(TMemoryStream& stream, int ms);
    virtual int PeekRaw(void* buffer, int length);
    virtual std::uint8_t PeekOneByte(int ms);
    virtual int PendingByteCount();
    virtual int CheckResult(int platformResult);
    virtual std::string LocalIPText();
    virtual std::string RemoteIPText();
    virtual int LocalPortNumber();
    virtual int RemotePortNumber();
    virtual bool WaitReadable(int ms);
    virtual bool WaitReadableOrBuffered(int ms);
    virtual bool WaitWritable(int ms);
    // The wait behind WaitReadable and WaitWritable, without their reports, for a layer that waits inside a
    // transfer (TLS): true when the handle is ready for events (poll's POLLIN or POLLOUT). False after ms without,
    // or when the wait failed, was stopped or met the Deadline; then ErrorNumber says which (0: time-out).
    bool WaitFor(short events, int ms);
    virtual int SendDatagram(const void* buffer, int length);
    virtual int ReceiveDatagram(void* buffer, int length);
    virtual int SocketTypeCode();
    virtual int ProtocolCode();
    virtual std::string GetErrorDescEx();

    void ClearError();
    void ReportError();
    void ReportStatus(THookSocketReason reason, const std::string& value);
    void ResolveTarget(TSockAddress& record, const std::string& host, const std::string& port);
    void CreateHandleFor(const TSockAddress& record);
    void BindTo(const std::string& host, const std::string& port);
    void RefreshAddresses();
    void QueueOption(const TSocketOption& option);
    void ApplyOption(const TSocketOption& option);
    void ApplyQueuedOptions();
    void ThrottleTransfer(int length, int limit, std::uint32_t& nextTick);
    // Calls the heartbeat, then ends the operation when StopFlag is set or the Deadline has passed: true, with the
    // error set and reported.
    bool CheckStopRequest();
    int FilterReceived(void* buffer, int count);
    void NotifyTraffic(bool writing, const void* buffer, int length);
    void NotifyHeartbeat();
    void NotifyCreated();
    void ReadStreamOfLength(TMemoryStream& stream, int ms, std::int64_t length);
    void DrainInput();
    std::string LocalHostName();
    void ResolveHostAll(const std::string& name, std::vector<std::string>& list);
    std::string ResolveHost(const std::string& name);
    int ServicePort(const std::string& port);
    std::string ReverseLookup(const std::string& name);
    void RequestReceiveBufferSize(int bytes);
    void RequestSendBufferSize(int bytes);

    static std::string GetErrorDesc(int number);

protected:
    int PlatformFamily(TSocketFamily family) const;
    // Sends the bytes in throttled pieces of at most SendMaxChunk through sendPiece, which returns its count and
    // sets ErrorNumber on failure; stops at the first error, reports it and returns what was sent.
    int SendInPieces(const char* bytes, int length, const std::function<int(const char*, int)>& sendPiece);

private:
    bool PollFor(short events, int ms);
    // CheckStopRequest without the report.
    bool StopRequested();
    // True, with the error set, once the Deadline has passed.
    bool DeadlinePassed();
    // ms (-1: no limit) shortened to the time left before the Deadline.
    int WithinDeadline(int ms) const;
    void ConnectHandle(const TSockAddress& record);
    // Reads exactly length bytes (fewer on an error or time-out), handing each piece to take as it arrives.
    void ReadExactPieces(int length, int ms, const std::function<void(std::string_view)>& take);
    void ReadInt32Into(TMemoryStream& stream, int ms, bool networkOrder);

    TSocketFamily FFamily = SF_Any;
    // Kept between reads so that a long transfer does not allocate, zero and free a buffer of the pending size
    // for every packet (with TLS the socket may hold far more than one record yields).
    std::vector<char> FReceiveBuffer;
};

} // namespace quorlane::net

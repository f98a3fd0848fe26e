#include "blocksocket.h"

#include "addresstext.h"
#include "socketerror.h"
#include "socketerrorcode.h"
#include "textparse.h"
#include "tick.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

namespace quorlane::net {

namespace {

std::string Int32Bytes(std::uint32_t value, bool networkOrder)
{
    const std::string bigEndian = PackUInt32(value);
    return networkOrder ? bigEndian : std::string(bigEndian.rbegin(), bigEndian.rend());
}

std::int32_t Int32FromBytes(const std::string& bytes, bool networkOrder)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const auto b = static_cast<unsigned char>(bytes[static_cast<std::size_t>(networkOrder ? i : 3 - i)]);
        value = value << 8 | b;
    }
    return static_cast<std::int32_t>(value);
}

void Sleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

template <typename T>
void SetOption(TSocket handle, int level, int name, const T& value)
{
    setsockopt(handle, level, name, &value, sizeof value);
}

timeval MsToTimeval(int ms)
{
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

} // namespace

TBlockSocket::TBlockSocket() = default;

TBlockSocket::~TBlockSocket()
{
    // A derived socket closes itself in its own destructor; this only catches a handle still open.
    if (Handle != InvalidSocket) {
        TBlockSocket::AbortConnection();
    }
}

void TBlockSocket::SetFamily(TSocketFamily value)
{
    FFamily = value;
    ConfiguredFamily = value;
}

void TBlockSocket::SetMaxBandwidth(int value)
{
    MaxSendBandwidth = value;
    MaxRecvBandwidth = value;
}

int TBlockSocket::PlatformFamily(TSocketFamily family) const
{
    switch (family) {
    case SF_IP4:
        return AF_INET;
    case SF_IP6:
        return AF_INET6;
    default:
        return AF_UNSPEC;
    }
}

// Error bookkeeping

void TBlockSocket::ClearError()
{
    ErrorNumber = 0;
    ErrorText.clear();
}

int TBlockSocket::CheckResult(int platformResult)
{
    ClearError();
    if (platformResult == -1) {
        ErrorNumber = LastSocketError();
        ErrorText = GetErrorDescEx();
    }
    return ErrorNumber;
}

void TBlockSocket::ReportError()
{
    ErrorText = GetErrorDescEx();
    if (ErrorNumber == 0 || ErrorNumber == WSAEWOULDBLOCK || ErrorNumber == WSAEINPROGRESS) {
        return;
    }
    ReportStatus(HR_Error, std::to_string(ErrorNumber) + "," + ErrorText);
    if (RaiseExcept) {
        throw ESocketError("TCP/IP Socket error " + std::to_string(ErrorNumber) + ": " + ErrorText, ErrorNumber,
                           ErrorText);
    }
}

void TBlockSocket::ReportStatus(THookSocketReason reason, const std::string& value)
{
    if (OnStatus) {
        OnStatus(this, reason, value);
    }
}

bool TBlockSocket::CheckStopRequest()
{
    NotifyHeartbeat();
    if (!StopFlag) {
        return false;
    }
    StopFlag = false;
    ErrorNumber = WSAECONNABORTED;
    ReportError();
    return true;
}

std::string TBlockSocket::GetErrorDescEx()
{
    return GetErrorDesc(ErrorNumber);
}

// Hooks

int TBlockSocket::FilterReceived(void* buffer, int count)
{
    if (!OnReadFilter || count <= 0) {
        return count;
    }
    std::string value(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
    OnReadFilter(this, value);
    if (value.size() > static_cast<std::size_t>(count)) {
        value.resize(static_cast<std::size_t>(count));
    }
    std::memcpy(buffer, value.data(), value.size());
    return static_cast<int>(value.size());
}

void TBlockSocket::NotifyTraffic(bool writing, const void* buffer, int length)
{
    if (OnMonitor) {
        OnMonitor(this, writing, buffer, length);
    }
}

void TBlockSocket::NotifyHeartbeat()
{
    if (OnHeartbeat && HeartbeatRate != 0) {
        OnHeartbeat(this);
    }
}

void TBlockSocket::NotifyCreated()
{
    if (OnCreateSocket) {
        OnCreateSocket(this);
    }
}

// Handles and addresses

void TBlockSocket::ResolveTarget(TSockAddress& record, const std::string& host, const std::string& port)
{
    ReportStatus(HR_ResolvingBegin, host + ":" + port);
    ClearError();
    TSocketFamily family = FFamily;
    if (Handle == InvalidSocket && FFamily == SF_Any) {
        family = IsIPv4Text(host) ? SF_IP4 : IsIPv6Text(host) ? SF_IP6 : SF_Any;
    }
    ErrorNumber = FillAddress(record, host, port, PlatformFamily(family), ProtocolCode(), SocketTypeCode(), PreferIP4);
    ReportStatus(HR_ResolvingEnd, AddressToText(record) + ":" + std::to_string(AddressToPort(record)));
}

void TBlockSocket::CreateHandleFor(const TSockAddress& record)
{
    StopFlag = false;
    BytesReceived = 0;
    BytesSent = 0;
    ClearError();
    if (Handle != InvalidSocket) {
        return;
    }
    PendingInput.clear();
    IsBound = false;
    UsesIPv6 = record.Generic.sa_family == AF_INET6;
    Handle = socket(record.Generic.sa_family, SocketTypeCode() | SOCK_CLOEXEC, ProtocolCode());
    if (Handle == InvalidSocket) {
        ErrorNumber = LastSocketError();
    }
    ReadSet.Clear();
    ReadSet.Add(Handle);
    ReportError();
    ReportStatus(HR_SocketCreate, UsesIPv6 ? "IPv6" : "IPv4");
    ApplyQueuedOptions();
    NotifyCreated();
}

void TBlockSocket::AdoptHandle(TSocket handle)
{
    BytesReceived = 0;
    BytesSent = 0;
    Handle = handle;
    ReadSet.Clear();
    ReadSet.Add(Handle);
    RefreshAddresses();
    UsesIPv6 = RemoteAddress.Generic.sa_family == AF_INET6;
}

void TBlockSocket::RefreshAddresses()
{
    LocalAddress = TSockAddress{};
    RemoteAddress = TSockAddress{};
    socklen_t length = sizeof LocalAddress;
    getsockname(Handle, &LocalAddress.Generic, &length);
    length = sizeof RemoteAddress;
    getpeername(Handle, &RemoteAddress.Generic, &length);
}

void TBlockSocket::ConnectTo(const std::string& host, const std::string& port)
{
    TSockAddress record{};
    ResolveTarget(record, host, port);
    if (ErrorNumber == 0 && Handle == InvalidSocket) {
        CreateHandleFor(record);
    }
    if (ErrorNumber == 0) {
        CheckResult(connect(Handle, &record.Generic, AddressLength(record)));
        if (ErrorNumber == 0) {
            RefreshAddresses();
            PendingInput.clear();
            SawLoneCR = false;
            SawLoneLF = false;
        }
    }
    ReportError();
    ReportStatus(HR_Connect, host + ":" + port);
}

void TBlockSocket::BindTo(const std::string& host, const std::string& port)
{
    ClearError();
    if (Handle == InvalidSocket && FFamily == SF_Any && host == "0.0.0.0" && port == "0") {
        return;
    }
    TSockAddress record{};
    ResolveTarget(record, host, port);
    if (ErrorNumber == 0 && Handle == InvalidSocket) {
        CreateHandleFor(record);
    }
    if (ErrorNumber == 0) {
        CheckResult(bind(Handle, &record.Generic, AddressLength(record)));
        RefreshAddresses();
        PendingInput.clear();
        IsBound = ErrorNumber == 0;
    }
    ReportError();
    ReportStatus(HR_Bind, host + ":" + port);
}

void TBlockSocket::CloseConnection()
{
    AbortConnection();
}

void TBlockSocket::AbortConnection()
{
    if (Handle != InvalidSocket) {
        close(Handle);
    }
    Handle = InvalidSocket;
    ReadSet.Clear();
    QueuedOptions.clear();
    FFamily = ConfiguredFamily;
    ReportStatus(HR_SocketClose, "");
}

void TBlockSocket::StartListening()
{
    CheckResult(listen(Handle, SOMAXCONN));
    RefreshAddresses();
    ReportError();
    ReportStatus(HR_Listen, "");
}

TSocket TBlockSocket::AcceptClient()
{
    RemoteAddress = TSockAddress{};
    socklen_t length = sizeof RemoteAddress;
    const TSocket client = accept4(Handle, &RemoteAddress.Generic, &length, SOCK_CLOEXEC);
    CheckResult(client);
    ReportError();
    ReportStatus(HR_Accept, "");
    return client;
}

// Options

void TBlockSocket::QueueOption(const TSocketOption& option)
{
    if (Handle == InvalidSocket) {
        QueuedOptions.push_back(option);
    } else {
        ApplyOption(option);
    }
}

void TBlockSocket::ApplyQueuedOptions()
{
    for (const TSocketOption& option : QueuedOptions) {
        ApplyOption(option);
    }
    QueuedOptions.clear();
}

void TBlockSocket::ApplyOption(const TSocketOption& option)
{
    const int flag = option.Switch ? 1 : 0;
    switch (option.Kind) {
    case OptLinger:
        SetOption(Handle, SOL_SOCKET, SO_LINGER, linger{flag, option.Value / 1000});
        break;
    case OptRecvBuffer:
        SetOption(Handle, SOL_SOCKET, SO_RCVBUF, option.Value);
        break;
    case OptSendBuffer:
        SetOption(Handle, SOL_SOCKET, SO_SNDBUF, option.Value);
        break;
    case OptNonBlock: {
        NonBlocking = option.Switch;
        const int flags = fcntl(Handle, F_GETFL);
        fcntl(Handle, F_SETFL, NonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
        break;
    }
    case OptRecvTimeout:
        SetOption(Handle, SOL_SOCKET, SO_RCVTIMEO, MsToTimeval(option.Value));
        break;
    case OptSendTimeout:
        SetOption(Handle, SOL_SOCKET, SO_SNDTIMEO, MsToTimeval(option.Value));
        break;
    case OptReuse:
        SetOption(Handle, SOL_SOCKET, SO_REUSEADDR, flag);
        break;
    case OptTTL:
        if (UsesIPv6) {
            SetOption(Handle, IPPROTO_IPV6, IPV6_UNICAST_HOPS, option.Value);
        } else {
            SetOption(Handle, IPPROTO_IP, IP_TTL, option.Value);
        }
        break;
    case OptBroadcast:
        SetOption(Handle, SOL_SOCKET, SO_BROADCAST, flag);
        break;
    case OptMulticastTTL:
        if (UsesIPv6) {
            SetOption(Handle, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, option.Value);
        } else {
            SetOption(Handle, IPPROTO_IP, IP_MULTICAST_TTL, option.Value);
        }
        break;
    case OptMulticastLoop:
        if (UsesIPv6) {
            SetOption(Handle, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, flag);
        } else {
            SetOption(Handle, IPPROTO_IP, IP_MULTICAST_LOOP, flag);
        }
        break;
    }
}

void TBlockSocket::RequestReceiveBufferSize(int bytes)
{
    QueueOption(TSocketOption{OptRecvBuffer, false, bytes});
}

void TBlockSocket::RequestSendBufferSize(int bytes)
{
    QueueOption(TSocketOption{OptSendBuffer, false, bytes});
}

// Throttling

void TBlockSocket::ThrottleTransfer(int length, int limit, std::uint32_t& nextTick)
{
    if (StopFlag || limit <= 0) {
        return;
    }
    const std::uint32_t now = TickMs();
    if (now < nextTick) {
        const std::uint32_t wait = nextTick - now;
        ReportStatus(HR_Wait, std::to_string(wait));
        Sleep(static_cast<int>(wait % 250));
        for (std::uint32_t i = 0; i < wait / 250 && !StopFlag; ++i) {
            Sleep(250);
        }
    }
    nextTick = TickMs() + static_cast<std::uint32_t>(static_cast<double>(length) / limit * 1000);
}

// Readiness

bool TBlockSocket::PollFor(short events, int ms)
{
    pollfd fds[TSocketSet::Capacity];
    for (int i = 0; i < ReadSet.Count; ++i) {
        fds[i] = pollfd{ReadSet.Handles[i], events, 0};
    }
    int result;
    do {
        result = poll(fds, static_cast<nfds_t>(ReadSet.Count), ms < 0 ? -1 : ms);
    } while (result == -1 && errno == EINTR);
    CheckResult(result);
    if (ErrorNumber != 0) {
        return false;
    }
    for (int i = 0; i < ReadSet.Count; ++i) {
        // A closed or failed connection counts as ready: the next call finds out what happened.
        if (fds[i].fd == Handle && Handle != InvalidSocket && (fds[i].revents & (events | POLLHUP | POLLERR)) != 0) {
            return true;
        }
    }
    return false;
}

bool TBlockSocket::PollReadable(int ms)
{
    return PollFor(POLLIN, ms);
}

bool TBlockSocket::WaitReadable(int ms)
{
    int rounds = 0;
    int first = ms;
    if (HeartbeatRate != 0 && ms != -1) {
        rounds = ms / HeartbeatRate;
        first = ms % HeartbeatRate;
    }
    bool ready = PollReadable(first);
    for (int i = 0; !ready && i <= rounds; ++i) {
        NotifyHeartbeat();
        if (StopFlag) {
            StopFlag = false;
            ready = false;
            break;
        }
        ready = PollReadable(HeartbeatRate);
    }
    ReportError();
    if (ready) {
        ReportStatus(HR_CanRead, "");
    }
    return ready;
}

bool TBlockSocket::WaitReadableOrBuffered(int ms)
{
    return !PendingInput.empty() || WaitReadable(ms);
}

bool TBlockSocket::WaitWritable(int ms)
{
    const bool ready = PollFor(POLLOUT, ms);
    ReportError();
    if (ready) {
        ReportStatus(HR_CanWrite, "");
    }
    return ready;
}

int TBlockSocket::PendingByteCount()
{
    int count = 0;
    if (ioctl(Handle, FIONREAD, &count) != 0) {
        return 0;
    }
    return std::clamp(count, 0, 65536);
}

// Sending

int TBlockSocket::SendBytes(const void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    NotifyTraffic(true, buffer, length);
    return SendInPieces(static_cast<const char*>(buffer), length, [this](const char* piece, int size) {
        auto count = static_cast<int>(send(Handle, piece, static_cast<std::size_t>(size), MSG_NOSIGNAL));
        CheckResult(count);
        if (ErrorNumber == WSAEWOULDBLOCK) {
            if (WaitWritable(NonblockSendTimeout)) {
                count = static_cast<int>(send(Handle, piece, static_cast<std::size_t>(size), MSG_NOSIGNAL));
                CheckResult(count);
            } else {
                ErrorNumber = WSAETIMEDOUT;
            }
        }
        return count;
    });
}

int TBlockSocket::SendInPieces(const char* bytes, int length, const std::function<int(const char*, int)>& sendPiece)
{
    int sent = 0;
    while (sent < length) {
        const int piece = std::min(SendMaxChunk, length - sent);
        ThrottleTransfer(piece, MaxSendBandwidth, NextSendTick);
        const int count = sendPiece(bytes + sent, piece);
        if (ErrorNumber != 0) {
            break;
        }
        sent += count;
        BytesSent += count;
        ReportStatus(HR_WriteCount, std::to_string(count));
    }
    ReportError();
    return sent;
}

void TBlockSocket::SendOneByte(std::uint8_t value)
{
    SendBytes(&value, 1);
}

void TBlockSocket::SendText(const std::string& text)
{
    SendBytes(text.data(), static_cast<int>(text.size()));
}

void TBlockSocket::SendInt32(std::int32_t value)
{
    SendText(Int32Bytes(static_cast<std::uint32_t>(value), false));
}

void TBlockSocket::SendSizedBlock(const std::string& text)
{
    SendText(Int32Bytes(static_cast<std::uint32_t>(text.size()), false) + text);
}

void TBlockSocket::SendStreamData(TMemoryStream& stream, bool withSize, bool networkOrder)
{
    const std::int64_t remaining = stream.Size() - stream.Position();
    bool first = true;
    while (true) {
        std::string piece = ReadStreamText(stream, SendMaxChunk);
        if (piece.empty()) {
            break;
        }
        if (first && withSize) {
            piece.insert(0, Int32Bytes(static_cast<std::uint32_t>(remaining), networkOrder));
        }
        first = false;
        SendText(piece);
        if (ErrorNumber != 0) {
            break;
        }
    }
}

void TBlockSocket::SendStreamPlain(TMemoryStream& stream)
{
    SendStreamData(stream, false, false);
}

void TBlockSocket::SendStreamSized(TMemoryStream& stream)
{
    SendStreamData(stream, true, false);
}

void TBlockSocket::SendStreamSizedNet(TMemoryStream& stream)
{
    SendStreamData(stream, true, true);
}

int TBlockSocket::SendDatagram(const void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    NotifyTraffic(true, buffer, length);
    ThrottleTransfer(length, MaxSendBandwidth, NextSendTick);
    const auto count = static_cast<int>(sendto(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)),
                                               MSG_NOSIGNAL, &RemoteAddress.Generic, AddressLength(RemoteAddress)));
    CheckResult(count);
    ReportError();
    if (count > 0) {
        BytesSent += count;
    }
    ReportStatus(HR_WriteCount, std::to_string(count));
    return count;
}

// Receiving

int TBlockSocket::ReceiveRaw(void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    ThrottleTransfer(length, MaxRecvBandwidth, NextRecvTick);
    int count = static_cast<int>(recv(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)), 0));
    if (count == 0) {
        ClearError();
        ErrorNumber = WSAECONNRESET; // the peer ended the connection
    } else {
        CheckResult(count);
    }
    ReportError();
    if (count > 0) {
        BytesReceived += count;
        ReportStatus(HR_ReadCount, std::to_string(count));
        NotifyTraffic(false, buffer, count);
        count = FilterReceived(buffer, count);
    }
    return count;
}

int TBlockSocket::ReceiveDatagram(void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    ThrottleTransfer(length, MaxRecvBandwidth, NextRecvTick);
    RemoteAddress = TSockAddress{};
    socklen_t addressLength = sizeof RemoteAddress;
    int count = static_cast<int>(recvfrom(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)), 0,
                                          &RemoteAddress.Generic, &addressLength));
    CheckResult(count);
    ReportError();
    if (count > 0) {
        BytesReceived += count;
    }
    ReportStatus(HR_ReadCount, std::to_string(count));
    if (count > 0) {
        NotifyTraffic(false, buffer, count);
        count = FilterReceived(buffer, count);
    }
    return count;
}

int TBlockSocket::PeekRaw(void* buffer, int length)
{
    const auto count = static_cast<int>(recv(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)), MSG_PEEK));
    CheckResult(count);
    ReportError();
    return count;
}

std::uint8_t TBlockSocket::PeekOneByte(int ms)
{
    std::uint8_t value = 0;
    ClearError();
    if (!WaitReadable(ms)) {
        ErrorNumber = WSAETIMEDOUT;
        ReportError();
        return 0;
    }
    return PeekRaw(&value, 1) == 1 ? value : 0;
}

std::string TBlockSocket::ReadAvailable(int ms)
{
    std::string result;
    ClearError();
    if (!PendingInput.empty()) {
        result.swap(PendingInput);
    } else {
        // Yield before every read so that a long transfer does not keep a core busy.
        std::this_thread::yield();
        int count = PendingByteCount();
        if (count == 0) {
            if (WaitReadable(ms)) {
                count = PendingByteCount();
                if (count == 0) {
                    ErrorNumber = WSAECONNRESET; // readable with nothing to read: the peer ended the connection
                }
            } else if (ErrorNumber == 0) {
                ErrorNumber = WSAETIMEDOUT;
            }
        }
        if (count > 0) {
            if (FReceiveBuffer.size() < static_cast<std::size_t>(count)) {
                FReceiveBuffer.resize(static_cast<std::size_t>(count));
            }
            const int received = ReceiveRaw(FReceiveBuffer.data(), count);
            if (ErrorNumber == 0 && received > 0) {
                result.assign(FReceiveBuffer.data(), static_cast<std::size_t>(received));
            }
        }
    }
    if (ConvertLineEnd && !result.empty()) {
        if (SawLoneCR && result.front() == '\n') {
            result.erase(0, 1);
        }
        if (SawLoneLF && !result.empty() && result.front() == '\r') {
            result.erase(0, 1);
        }
        SawLoneCR = false;
        SawLoneLF = false;
    }
    ReportError();
    return result;
}

std::string TBlockSocket::ReadUntil(int ms, const std::string& terminator)
{
    ClearError();
    if (terminator.empty()) {
        return {};
    }
    const bool lineMode = ConvertLineEnd && terminator == "\r\n";
    std::string buffer;
    std::size_t position = std::string::npos;
    std::size_t endLength = terminator.size();
    while (true) {
        const std::uint32_t started = TickMs();
        buffer += ReadAvailable(ms);
        if (ErrorNumber != 0) {
            break;
        }
        if (!buffer.empty()) {
            if (lineMode) {
                const TLineBreak lineBreak = FindLineBreak(buffer);
                if (lineBreak.Position >= 0) {
                    position = static_cast<std::size_t>(lineBreak.Position);
                    endLength = lineBreak.LineEnd.size();
                    SawLoneCR = lineBreak.LineEnd == "\r";
                    SawLoneLF = lineBreak.LineEnd == "\n";
                }
            } else {
                position = buffer.find(terminator);
            }
        }
        if (MaxLineLength > 0 && buffer.size() > static_cast<std::size_t>(MaxLineLength)) {
            ErrorNumber = WSAENOBUFS;
            break;
        }
        if (position != std::string::npos) {
            break;
        }
        if (!InterPacketTimeout && ms >= 0) {
            ms -= static_cast<int>(TickDistance(started, TickMs()));
            if (ms <= 0) {
                ErrorNumber = WSAETIMEDOUT;
                break;
            }
        }
    }
    std::string result;
    if (position != std::string::npos) {
        result = buffer.substr(0, position);
        buffer.erase(0, position + endLength);
    }
    PendingInput = std::move(buffer);
    ReportError();
    return result;
}

std::string TBlockSocket::ReadLine(int ms)
{
    std::string line = ReadUntil(ms, "\r\n");
    return ErrorNumber == 0 ? line : std::string();
}

int TBlockSocket::ReadExact(void* buffer, int length, int ms)
{
    auto* target = static_cast<char*>(buffer);
    int copied = 0;
    ReadExactPieces(length, ms, [&](std::string_view piece) {
        std::memcpy(target + copied, piece.data(), piece.size());
        copied += static_cast<int>(piece.size());
    });
    return copied;
}

// The text grows with the bytes that arrive: a length a peer announces (a sized block's) is taken at once only up
// to one send piece, which is also what a stream read asks for at a time.
std::string TBlockSocket::ReadExactText(int length, int ms)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(std::clamp(length, 0, SendMaxChunk)));
    ReadExactPieces(length, ms, [&text](std::string_view piece) { text += piece; });
    return ErrorNumber == 0 ? text : std::string();
}

void TBlockSocket::ReadExactPieces(int length, int ms, const std::function<void(std::string_view)>& take)
{
    ClearError();
    if (length <= 0) {
        return;
    }
    int copied = 0;
    std::string piece;
    std::size_t used = 0;
    while (true) {
        const std::uint32_t started = TickMs();
        piece = ReadAvailable(ms);
        used = std::min(piece.size(), static_cast<std::size_t>(length - copied));
        take(std::string_view(piece).substr(0, used));
        copied += static_cast<int>(used);
        if (ErrorNumber != 0 || copied >= length) {
            break;
        }
        if (!InterPacketTimeout && ms >= 0) {
            ms -= static_cast<int>(TickDistance(started, TickMs()));
            if (ms <= 0) {
                ErrorNumber = WSAETIMEDOUT;
                ReportError();
                break;
            }
        }
    }
    PendingInput = piece.substr(used);
}

std::uint8_t TBlockSocket::ReadOneByte(int ms)
{
    ClearError();
    if (PendingInput.empty()) {
        PendingInput = ReadAvailable(ms);
    }
    if (ErrorNumber != 0 || PendingInput.empty()) {
        return 0;
    }
    const auto value = static_cast<std::uint8_t>(PendingInput.front());
    PendingInput.erase(0, 1);
    return value;
}

std::int32_t TBlockSocket::ReadInt32(int ms)
{
    const std::string bytes = ReadExactText(4, ms);
    return ErrorNumber == 0 ? Int32FromBytes(bytes, false) : 0;
}

std::string TBlockSocket::ReadSizedBlock(int ms)
{
    const std::int32_t length = ReadInt32(ms);
    return ErrorNumber == 0 ? ReadExactText(length, ms) : std::string();
}

void TBlockSocket::ReadStreamUntilClose(TMemoryStream& stream, int ms)
{
    while (true) {
        const std::string piece = ReadAvailable(ms);
        if (ErrorNumber != 0) {
            break;
        }
        WriteStreamText(stream, piece);
    }
}

void TBlockSocket::ReadInt32Into(TMemoryStream& stream, int ms, bool networkOrder)
{
    const std::string bytes = ReadExactText(4, ms);
    if (ErrorNumber == 0) {
        ReadStreamOfLength(stream, ms, Int32FromBytes(bytes, networkOrder));
    }
}

void TBlockSocket::ReadStreamSized(TMemoryStream& stream, int ms)
{
    ReadInt32Into(stream, ms, false);
}

void TBlockSocket::ReadStreamSizedNet(TMemoryStream& stream, int ms)
{
    ReadInt32Into(stream, ms, true);
}

void TBlockSocket::ReadStreamOfLength(TMemoryStream& stream, int ms, std::int64_t length)
{
    const std::int64_t pieces = length / SendMaxChunk;
    for (std::int64_t i = 0; i < pieces; ++i) {
        const std::string piece = ReadExactText(SendMaxChunk, ms);
        if (ErrorNumber != 0) {
            return;
        }
        WriteStreamText(stream, piece);
    }
    const auto rest = static_cast<int>(length % SendMaxChunk);
    if (rest > 0) {
        const std::string piece = ReadExactText(rest, ms);
        if (ErrorNumber == 0) {
            WriteStreamText(stream, piece);
        }
    }
}

void TBlockSocket::DrainInput()
{
    Sleep(1);
    try {
        while (!PendingInput.empty() || PendingByteCount() > 0) {
            ReadAvailable(0);
            if (ErrorNumber != 0) {
                break;
            }
        }
    } catch (const ESocketError&) {
        // A failure while discarding unread input does not matter to a connection that is closing.
    }
    ClearError();
}

// Addresses and names

std::string TBlockSocket::LocalIPText()
{
    return AddressToText(LocalAddress);
}

std::string TBlockSocket::RemoteIPText()
{
    return AddressToText(RemoteAddress);
}

int TBlockSocket::LocalPortNumber()
{
    return AddressToPort(LocalAddress);
}

int TBlockSocket::RemotePortNumber()
{
    return AddressToPort(RemoteAddress);
}

std::string TBlockSocket::LocalHostName()
{
    const std::string name = HostNameText();
    return name.empty() ? "127.0.0.1" : name;
}

void TBlockSocket::ResolveHostAll(const std::string& name, std::vector<std::string>& list)
{
    ResolveNameList(name, PlatformFamily(FFamily), ProtocolCode(), SocketTypeCode(), list);
}

std::string TBlockSocket::ResolveHost(const std::string& name)
{
    std::vector<std::string> list;
    ResolveHostAll(name, list);
    return list.front();
}

int TBlockSocket::ServicePort(const std::string& port)
{
    return ResolveServicePort(port, PlatformFamily(FFamily), ProtocolCode(), SocketTypeCode());
}

std::string TBlockSocket::ReverseLookup(const std::string& name)
{
    const std::string address = IsIPv4Text(name) || IsIPv6Text(name) ? name : ResolveHost(name);
    return ResolveAddressName(address, PlatformFamily(FFamily), ProtocolCode(), SocketTypeCode());
}

int TBlockSocket::SocketTypeCode()
{
    return 0;
}

int TBlockSocket::ProtocolCode()
{
    return 0;
}

std::string TBlockSocket::GetErrorDesc(int number)
{
    static const std::map<int, std::string> texts{
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on nonsocket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for Socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket not supported"},
        {10045, "Operation not supported on Socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No Buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after Socket shutdown"},
        {10059, "Too many references:can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name is too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory is not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disk quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network subsystem is unusable"},
        {10092, "Winsock DLL cannot support this application"},
        {10093, "Winsock not initialized"},
        {10101, "Disconnect"},
        {11001, "Host not found"},
        {11002, "Non authoritative - host not found"},
        {11003, "Non recoverable error"},
        {11004, "Valid name, no data record of requested type"},
    };
    if (number == 0) {
        return {};
    }
    const auto found = texts.find(number);
    return found != texts.end() ? found->second : "Other Winsock error (" + std::to_string(number) + ")";
}

} // namespace quorlane::net

// Handles, addresses, connecting, binding, listening and socket options.

#include "blocksocket.h"

#include "addresstext.h"
#include "socketerrorcode.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorlane::net {

namespace {

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
    StopReason = SR_None;
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
        ConnectHandle(record);
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

// The connection is started without blocking and awaited like any other wait, so that the heartbeat, StopFlag and the
// Deadline reach a peer that never answers. Without them the system's own time-out ends the wait, as before.
void TBlockSocket::ConnectHandle(const TSockAddress& record)
{
    if (NonBlocking) {
        CheckResult(connect(Handle, &record.Generic, AddressLength(record)));
        return;
    }
    const int flags = fcntl(Handle, F_GETFL);
    fcntl(Handle, F_SETFL, flags | O_NONBLOCK);
    CheckResult(connect(Handle, &record.Generic, AddressLength(record)));
    if (ErrorNumber == WSAEINPROGRESS) {
        ClearError();
        if (WaitFor(POLLOUT, -1)) {
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(Handle, SOL_SOCKET, SO_ERROR, &error, &length);
            ErrorNumber = SocketErrorFromErrno(error);
        }
    }
    fcntl(Handle, F_SETFL, flags);
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
} // namespace quorlane::net

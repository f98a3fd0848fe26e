#include "tcpblocksocket.h"

#include "socketerrorcode.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

namespace quorlane::net {

TTCPBlockSocket::TTCPBlockSocket(TSSLClass sslClass) : Tls(sslClass(*this)) {}

TTCPBlockSocket::~TTCPBlockSocket()
{
    CloseConnection();
}

void TTCPBlockSocket::CloseConnection()
{
    if (Tls->TlsActive) {
        Tls->CloseTls();
    }
    if (Handle != InvalidSocket && ErrorNumber == 0) {
        shutdown(Handle, SHUT_WR);
        DrainInput();
    }
    AbortConnection();
}

void TTCPBlockSocket::ConnectTo(const std::string& host, const std::string& port)
{
    TBlockSocket::ConnectTo(host, port);
    if (ErrorNumber == 0) {
        NotifyConnected();
    }
}

void TTCPBlockSocket::NotifyConnected()
{
    if (OnAfterConnect) {
        OnAfterConnect(this);
    }
}

void TTCPBlockSocket::StartTls()
{
    ClearError();
    if (!Tls->HandshakeAsClient()) {
        ErrorNumber = WSASYSNOTREADY;
    }
    ReportError();
}

int TTCPBlockSocket::SendBytes(const void* buffer, int length)
{
    if (!Tls->TlsActive) {
        return TBlockSocket::SendBytes(buffer, length);
    }
    if (CheckStopRequest()) {
        return 0;
    }
    ClearError();
    NotifyTraffic(true, buffer, length);
    const auto* bytes = static_cast<const char*>(buffer);
    int sent = 0;
    while (sent < length) {
        const int piece = std::min(SendMaxChunk, length - sent);
        ThrottleTransfer(piece, MaxSendBandwidth, NextSendTick);
        const int count = Tls->WriteData(bytes + sent, piece);
        if (Tls->ErrorNumber != 0) {
            ErrorNumber = WSASYSNOTREADY;
        } else if (count <= 0) {
            ErrorNumber = WSAECONNRESET; // the peer closed TLS; nothing more can be sent
        }
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

int TTCPBlockSocket::ReceiveRaw(void* buffer, int length)
{
    if (!Tls->TlsActive) {
        return TBlockSocket::ReceiveRaw(buffer, length);
    }
    if (CheckStopRequest()) {
        return 0;
    }
    ClearError();
    ThrottleTransfer(length, MaxRecvBandwidth, NextRecvTick);
    int count = Tls->ReadData(buffer, length);
    if (Tls->ErrorNumber != 0) {
        ErrorNumber = WSASYSNOTREADY;
    }
    ReportError();
    // Every TLS read is reported, a failed one too: its count of 0 or below tells the owner what happened.
    ReportStatus(HR_ReadCount, std::to_string(count));
    if (count > 0) {
        BytesReceived += count;
        NotifyTraffic(false, buffer, count);
        count = FilterReceived(buffer, count);
    }
    return count;
}

int TTCPBlockSocket::PendingByteCount()
{
    if (Tls->TlsActive && Handle != InvalidSocket) {
        const int plain = Tls->PendingPlainBytes();
        if (plain > 0) {
            return std::min(plain, 65536);
        }
    }
    return TBlockSocket::PendingByteCount();
}

int TTCPBlockSocket::SocketTypeCode()
{
    return SOCK_STREAM;
}

int TTCPBlockSocket::ProtocolCode()
{
    return IPPROTO_TCP;
}

std::string TTCPBlockSocket::GetErrorDescEx()
{
    if (ErrorNumber == WSASYSNOTREADY && Tls->ErrorNumber != 0) {
        return Tls->ErrorText;
    }
    return TBlockSocket::GetErrorDescEx();
}

} // namespace quorlane::net

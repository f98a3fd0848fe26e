#include "tcpblocksocket.h"

#include "addresstext.h"
#include "socketerrorcode.h"
#include "textparse.h"
#include "urltext.h"

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
    UsingSocks = false;
    TunnelOpen = false;
    TunnelStatusLine.clear();
    ProxyReached = false;
    if (!SocksIP.empty()) {
        ConnectThroughSocks(host, port);
    } else if (!HTTPTunnelIP.empty()) {
        ConnectThroughTunnel(host, port);
    } else {
        TBlockSocket::ConnectTo(host, port);
    }
    if (ErrorNumber == 0) {
        NotifyConnected();
    }
}

void TTCPBlockSocket::ConnectThroughTunnel(const std::string& host, const std::string& port)
{
    const std::string portText = std::to_string(ServicePort(port));
    TBlockSocket::ConnectTo(HTTPTunnelIP, HTTPTunnelPort);
    if (ErrorNumber != 0) {
        return;
    }
    ProxyReached = true;
    TunnelOpen = false;
    const std::string target = IsIPv6Text(host) ? "[" + host + "]" : host;
    std::string request = "CONNECT " + target + ":" + portText + " HTTP/1.0\r\n";
    if (!HTTPTunnelUser.empty()) {
        request += "Proxy-Authorization: Basic " + Base64Encode(HTTPTunnelUser + ":" + HTTPTunnelPass) + "\r\n";
    }
    SendText(request + "\r\n");
    while (ErrorNumber == 0) {
        // The proxy's answer head, line by line; each line keeps its CR.
        const std::string line = ReadUntil(HTTPTunnelTimeout, "\n");
        if (ErrorNumber != 0) {
            break;
        }
        if (line.rfind("HTTP/", 0) == 0 && line.size() > 11) {
            TunnelOpen = line[9] == '2';
            TunnelStatusLine = TrimRight(line);
        }
        if (line.empty() || line == "\r") {
            break;
        }
    }
    if (ErrorNumber == 0 && !TunnelOpen) {
        ErrorNumber = WSASYSNOTREADY;
    }
    TunnelTargetHost = target;
    TunnelTargetPort = portText;
    ReportError();
}

void TTCPBlockSocket::ConnectThroughSocks(const std::string& host, const std::string& port)
{
    TBlockSocket::ConnectTo(SocksIP, SocksPort);
    ProxyReached = ErrorNumber == 0;
    if (ErrorNumber == 0) {
        const bool connected = SendSocksGreeting() && SendSocksRequest(1, host, port) && ReadSocksReply();
        if (!connected && ErrorNumber == 0) {
            ErrorNumber = WSASYSNOTREADY;
        }
        SocksLocalIP = SocksReplyIP;
        SocksLocalPort = SocksReplyPort;
        SocksRemoteIP = host;
        SocksRemotePort = port;
    }
    ReportError();
    ReportStatus(HR_Connect, host + ":" + port);
}

void TTCPBlockSocket::StartListening()
{
    if (SocksIP.empty()) {
        TBlockSocket::StartListening();
        return;
    }
    std::string localIP = LocalIPText();
    if (localIP == "0.0.0.0" || localIP.empty()) {
        localIP = LocalHostName();
    }
    const std::string localPort = std::to_string(LocalPortNumber());
    UsingSocks = false;
    TBlockSocket::ConnectTo(SocksIP, SocksPort);
    if (ErrorNumber == 0) {
        const bool bound = SendSocksGreeting() && SendSocksRequest(2, localIP, localPort) && ReadSocksReply();
        if (!bound && ErrorNumber == 0) {
            ErrorNumber = WSANO_RECOVERY;
        }
        // A proxy that binds on all its addresses names none; it is then reached at the address used for it.
        SocksLocalIP = SocksReplyIP == "0.0.0.0" ? TBlockSocket::RemoteIPText() : SocksReplyIP;
        SocksLocalPort = SocksReplyPort;
        SocksRemoteIP.clear();
        SocksRemotePort.clear();
    }
    ReportError();
    ReportStatus(HR_Listen, "");
}

TSocket TTCPBlockSocket::AcceptClient()
{
    if (!UsingSocks) {
        return TBlockSocket::AcceptClient();
    }
    // Through SOCKS the proxy accepts: its second reply names the peer, and the connection is this handle.
    if (!ReadSocksReply() && ErrorNumber == 0) {
        ErrorNumber = WSANO_RECOVERY;
    }
    SocksRemoteIP = SocksReplyIP;
    SocksRemotePort = SocksReplyPort;
    ReportError();
    ReportStatus(HR_Accept, "");
    return Handle;
}

std::string TTCPBlockSocket::LocalIPText()
{
    return UsingSocks ? SocksLocalIP : TBlockSocket::LocalIPText();
}

int TTCPBlockSocket::LocalPortNumber()
{
    if (!UsingSocks) {
        return TBlockSocket::LocalPortNumber();
    }
    const bool decimal =
        !SocksLocalPort.empty() && SocksLocalPort.size() <= 5 &&
        std::all_of(SocksLocalPort.begin(), SocksLocalPort.end(), [](char c) { return c >= '0' && c <= '9'; });
    return decimal ? std::stoi(SocksLocalPort) : 0;
}

std::string TTCPBlockSocket::RemoteIPText()
{
    if (UsingSocks) {
        return SocksRemoteIP;
    }
    return TunnelOpen ? TunnelTargetHost : TBlockSocket::RemoteIPText();
}

int TTCPBlockSocket::RemotePortNumber()
{
    if (UsingSocks) {
        return ServicePort(SocksRemotePort);
    }
    return TunnelOpen ? ServicePort(TunnelTargetPort) : TBlockSocket::RemotePortNumber();
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
    if (!Tls->HandshakeAsClient() && ErrorNumber == 0) {
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
    return SendInPieces(static_cast<const char*>(buffer), length, [this](const char* piece, int size) {
        const int count = Tls->WriteData(piece, size);
        if (ErrorNumber != 0) {
            return count; // the wait inside TLS failed, was stopped or met the deadline
        }
        if (Tls->ErrorNumber != 0) {
            ErrorNumber = WSASYSNOTREADY;
        } else if (count <= 0) {
            ErrorNumber = WSAECONNRESET; // the peer closed TLS; nothing more can be sent
        }
        return count;
    });
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
    // Under TLS only the close_notify is an orderly end; a connection that closes without it is cut, and so is a
    // record that stops half-way.
    OrderlyEnd = Tls->PeerClosed;
    if (Tls->PeerClosed || Tls->CutOff) {
        ErrorNumber = WSAECONNRESET;
    } else if (Tls->ErrorNumber != 0 && ErrorNumber == 0) {
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

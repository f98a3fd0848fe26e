#pragma once

#include "customssl.h"
#include "socksblocksocket.h"

#include <memory>
#include <string>

namespace quorlane::net {

// The TCP client socket: a blocking socket whose reads and writes pass through its TLS plug-in once StartTls
// succeeded. It reaches its target directly, through a SOCKS proxy (SocksIP set) or through an HTTP proxy's CONNECT
// tunnel (HTTPTunnelIP set).
class TTCPBlockSocket : public TSocksBlockSocket
{
public:
    explicit TTCPBlockSocket(TSSLClass sslClass = TlsPluginClass);
    ~TTCPBlockSocket() override;

    THookAfterConnect OnAfterConnect;
    std::unique_ptr<TCustomSSL> Tls;
    std::string HTTPTunnelIP; // empty: no HTTP CONNECT tunnel
    std::string HTTPTunnelPort;
    bool TunnelOpen = false;
    std::string TunnelTargetHost;
    std::string TunnelTargetPort;
    std::string HTTPTunnelUser;
    std::string HTTPTunnelPass;
    int HTTPTunnelTimeout = 30000;
    // The HTTP proxy's answer to CONNECT (its status line), and whether the last connection through a proxy reached
    // the proxy at all: what a failure names.
    std::string TunnelStatusLine;
    bool ProxyReached = false;

    void CloseConnection() override;
    void ConnectTo(const std::string& host, const std::string& port) override;
    void StartListening() override;
    TSocket AcceptClient() override;
    int SendBytes(const void* buffer, int length) override;
    int ReceiveRaw(void* buffer, int length) override;
    int PendingByteCount() override;
    std::string LocalIPText() override;
    std::string RemoteIPText() override;
    int LocalPortNumber() override;
    int RemotePortNumber() override;
    int SocketTypeCode() override;
    int ProtocolCode() override;
    std::string GetErrorDescEx() override;

    void StartTls();
    void NotifyConnected();
    void ConnectThroughTunnel(const std::string& host, const std::string& port);
    void ConnectThroughSocks(const std::string& host, const std::string& port);
};

} // namespace quorlane::net

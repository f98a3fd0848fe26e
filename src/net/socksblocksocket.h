#pragma once

#include "blocksocket.h"

#include <cstdint>
#include <string>

namespace quorlane::net {

enum TSocksType : std::uint8_t { ST_Socks5, ST_Socks4 };

// The SOCKS proxy settings, the state of the last SOCKS exchange and its three steps (SOCKS5 or SOCKS4).
class TSocksBlockSocket : public TBlockSocket
{
public:
    std::string SocksIP; // empty: no SOCKS proxy
    std::string SocksPort = "1080";
    int SocksTimeout = 60000;
    std::string SocksUsername;
    std::string SocksPassword;
    bool UsingSocks = false;
    bool SocksResolver = true;
    int SocksReplyCode = 0;
    std::string SocksReplyIP;
    std::string SocksReplyPort;
    std::string SocksLocalIP;
    std::string SocksLocalPort;
    std::string SocksRemoteIP;
    std::string SocksRemotePort;
    TSocksType SocksType = ST_Socks5;
    // What the proxy said when it refused, for people ("it asks for a user name and password", "reply 5: the
    // destination refused the connection"); empty when it did not refuse.
    std::string SocksRefusal;

    // Each step is true when it succeeded; a failure may leave ErrorNumber 0 (the proxy said no).
    bool SendSocksGreeting();
    bool SendSocksRequest(std::uint8_t command, const std::string& host, const std::string& port);
    bool ReadSocksReply();
};

} // namespace quorlane::net

#pragma once

#include "serverprocess.h"
#include "tempdir.h"

#include <memory>
#include <string>

namespace quorlane::testsupport {

// dante (/usr/sbin/danted) as a SOCKS4 and SOCKS5 proxy on 127.0.0.1 at a free port, allowing connect and bind;
// its log names every connection it passes on (addresses as "127.0.0.1.<port>").
// With a user name set, SOCKS5 clients must log in with it: dante checks the system's password database, so the
// server runs in a mount namespace of its own where /etc/passwd and /etc/shadow are copies holding that one extra
// user; the machine's files stay untouched. That needs root (the constructor throws without).
class TDanteServer
{
public:
    explicit TDanteServer(const std::string& user = "", const std::string& password = "");

    int Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    std::string Log() const { return ReadWholeFile(FDir.File("danted.log")); }

private:
    TTempDir FDir;
    int FPort = 0;
    std::unique_ptr<TServerProcess> FProcess;
};

// tinyproxy (/usr/bin/tinyproxy) as an HTTP proxy on 127.0.0.1 at a free port, with Basic authentication when a
// user is given. Every port may be tunnelled with CONNECT.
class TTinyproxyServer
{
public:
    explicit TTinyproxyServer(const std::string& user = "", const std::string& password = "");

    int Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    std::string Log() const { return ReadWholeFile(FDir.File("tinyproxy.log")); }

private:
    TTempDir FDir;
    int FPort = 0;
    std::unique_ptr<TServerProcess> FProcess;
};

} // namespace quorlane::testsupport

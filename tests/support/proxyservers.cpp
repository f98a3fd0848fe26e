#include "proxyservers.h"

#include "freeport.h"

#include <unistd.h>

#include <stdexcept>

namespace quorlane::testsupport {

namespace {

// A SHA-512 crypt hash of the password, as /etc/shadow holds it.
std::string ShadowHash(const TTempDir& dir, const std::string& password)
{
    const std::string log = dir.File("passwd.out");
    if (RunCommand({"/usr/bin/openssl", "passwd", "-6", password}, log) != 0) {
        throw std::runtime_error("openssl passwd failed");
    }
    std::string hash = ReadWholeFile(log);
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) {
        hash.pop_back();
    }
    return hash;
}

} // namespace

TDanteServer::TDanteServer(const std::string& user, const std::string& password) : FPort(FreeLoopbackPort())
{
    const std::string config = FDir.Write("danted.conf", "logoutput: " + FDir.File("danted.log") + "\n" +
                                                             "internal: 127.0.0.1 port = " + PortText() + "\n" +
                                                             "external: 127.0.0.1\n"
                                                             "clientmethod: none\n"
                                                             "socksmethod: " +
                                                             (user.empty() ? "none" : "username") + "\n" +
                                                             "user.privileged: root\n"
                                                             "user.unprivileged: nobody\n"
                                                             "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                                             "socks pass { from: 0.0.0.0/0 to: 0.0.0.0/0 "
                                                             "command: bind connect bindreply\nlog: connect }\n");
    std::vector<std::string> argv{"/usr/sbin/danted", "-f", config};
    if (!user.empty()) {
        if (geteuid() != 0) {
            throw std::runtime_error("a SOCKS user needs root for a private password database");
        }
        const std::string passwd = FDir.Write("passwd", ReadWholeFile("/etc/passwd") + user +
                                                            ":x:60123:60123::/nonexistent:/usr/sbin/nologin\n");
        const std::string shadow = FDir.Write("shadow", ReadWholeFile("/etc/shadow") + user + ":" +
                                                            ShadowHash(FDir, password) + ":19000:0:99999:7:::\n");
        argv = {"/usr/bin/unshare",
                "--mount",
                "/bin/sh",
                "-c",
                "mount --bind \"$1\" /etc/passwd && mount --bind \"$2\" /etc/shadow && exec /usr/sbin/danted -f \"$3\"",
                "danted",
                passwd,
                shadow,
                config};
    }
    FProcess = std::make_unique<TServerProcess>(argv, FDir.File("danted.out"));
    if (!WaitForPort(FPort)) {
        throw std::runtime_error("danted did not start: " + Log() + ReadWholeFile(FDir.File("danted.out")));
    }
}

TTinyproxyServer::TTinyproxyServer(const std::string& user, const std::string& password) : FPort(FreeLoopbackPort())
{
    std::string config =
        "Port " + PortText() + "\nListen 127.0.0.1\nTimeout 30\nMaxClients 16\nAllow 127.0.0.1\n" + "LogLevel Info\n";
    if (geteuid() == 0) {
        config += "User nobody\nGroup nogroup\n";
    }
    if (!user.empty()) {
        config += "BasicAuth " + user + " " + password + "\n";
    }
    FProcess = std::make_unique<TServerProcess>(
        std::vector<std::string>{"/usr/bin/tinyproxy", "-d", "-c", FDir.Write("tinyproxy.conf", config)},
        FDir.File("tinyproxy.log"));
    if (!WaitForPort(FPort)) {
        throw std::runtime_error("tinyproxy did not start: " + Log());
    }
}

} // namespace quorlane::testsupport

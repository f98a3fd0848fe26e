#include "opensslserver.h"

#include "freeport.h"

#include <stdexcept>

namespace quorlane::testsupport {

TOpenSslServer::TOpenSslServer(const std::string& certificateFile, const std::string& keyFile,
                               const std::vector<std::string>& extraArguments)
    : FPort(FreeLoopbackPort())
{
    std::vector<std::string> argv{"/usr/bin/openssl",
                                  "s_server",
                                  "-accept",
                                  "127.0.0.1:" + std::to_string(FPort),
                                  "-cert",
                                  certificateFile,
                                  "-key",
                                  keyFile,
                                  "-quiet"};
    argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
    FProcess = std::make_unique<TServerProcess>(argv, FDir.File("s_server.log"));
    if (!WaitForPort(FPort)) {
        throw std::runtime_error("openssl s_server did not start: " + Log());
    }
}

} // namespace quorlane::testsupport

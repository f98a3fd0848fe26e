#pragma once

#include "serverprocess.h"
#include "tempdir.h"

#include <memory>
#include <string>
#include <vector>

namespace quorlane::testsupport {

// `openssl s_server` on 127.0.0.1 at a free port with the given certificate and key. With -www (the default
// extra argument) it answers every request with an HTTP page describing the session.
class TOpenSslServer
{
public:
    TOpenSslServer(const std::string& certificateFile, const std::string& keyFile,
                   const std::vector<std::string>& extraArguments = {"-www"});

    int Port() const { return FPort; }
    std::string Log() const { return ReadWholeFile(FDir.File("s_server.log")); }

private:
    TTempDir FDir;
    int FPort = 0;
    std::unique_ptr<TServerProcess> FProcess;
};

} // namespace quorlane::testsupport

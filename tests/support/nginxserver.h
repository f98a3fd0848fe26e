#pragma once

#include "serverprocess.h"
#include "tempdir.h"

#include <memory>
#include <string>

namespace quorlane::testsupport {

struct TNginxSettings
{
    std::string Root;             // document root; empty: a directory of the server's own
    std::string ServerDirectives; // extra lines inside the server block (locations, headers, ...)
    std::string CertificateFile;  // with both set, the server speaks TLS only
    std::string KeyFile;
};

// nginx (/usr/sbin/nginx) on 127.0.0.1 at a free port with a config of its own in a temporary directory,
// started in the foreground and stopped by its process id.
class TNginxServer
{
public:
    explicit TNginxServer(const TNginxSettings& settings);

    int Port() const { return FPort; }
    const std::string& Root() const { return FRoot; }
    // The server's error log, for failure messages.
    std::string ErrorLog() const;
    void Stop() { FProcess->Stop(); }

private:
    TTempDir FDir;
    int FPort = 0;
    std::string FRoot;
    std::unique_ptr<TServerProcess> FProcess;
};

} // namespace quorlane::testsupport

#pragma once

#include "serverprocess.h"
#include "tempdir.h"
#include "testcertificates.h"

#include <map>
#include <memory>
#include <string>

// The project's firmware catalogue (tools/catalogue: nginx with the project's own config) on a free loopback port,
// over HTTPS with a certificate from a test CA made at test time.
class TCatalogueServer
{
public:
    // images: version text -> image bytes. certificateHost: the name the server's certificate is issued for.
    // rate: the bytes per second images are sent at (0: full speed).
    TCatalogueServer(const std::string& catalogue, const std::map<std::string, std::string>& images,
                     const std::string& certificateHost = "127.0.0.1", int rate = 0);

    int Port() const { return FPort; }
    // "https://127.0.0.1:<port>"
    std::string Address() const;
    // The test CA's certificate: what a client must trust (SSL_CERT_FILE) to accept the server.
    const std::string& CAFile() const { return FCertificates.CAFile(); }
    // nginx's access log: one line per request with its request line and status.
    std::string AccessLog() const;
    void Stop() { FProcess->Stop(); }

private:
    quorlane::testsupport::TTempDir FDir;
    quorlane::testsupport::TTestCertificates FCertificates;
    int FPort = 0;
    std::unique_ptr<quorlane::testsupport::TServerProcess> FProcess;
};

#pragma once

#include "tempdir.h"

#include <string>
#include <vector>

namespace quorlane::testsupport {

struct TKeyPair
{
    std::string CertificateFile; // PEM
    std::string KeyFile;         // PEM, unencrypted
};

// A test certificate authority and certificates made with the openssl command at test time, in a temporary
// directory (RSA 2048, SHA-256, valid for two days). Nothing of it is ever committed.
class TTestCertificates
{
public:
    explicit TTestCertificates(const TTempDir& dir);

    const std::string& CAFile() const { return FCA.CertificateFile; }
    // A certificate issued by the test CA whose subject and alternative name are hostName (an IP address text
    // becomes an IP alternative name).
    TKeyPair Issue(const std::string& hostName);
    // A certificate that signs itself, for hostName.
    TKeyPair SelfSigned(const std::string& hostName);

private:
    void Run(const std::vector<std::string>& argv);

    const TTempDir& FDir;
    TKeyPair FCA;
    int FCount = 0;
};

} // namespace quorlane::testsupport

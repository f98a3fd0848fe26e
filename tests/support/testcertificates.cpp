#include "testcertificates.h"

#include "serverprocess.h"

#include <arpa/inet.h>

#include <stdexcept>

namespace quorlane::testsupport {

namespace {

const std::string OpenSsl = "/usr/bin/openssl";

std::string AltName(const std::string& hostName)
{
    in_addr ignored{};
    return (inet_pton(AF_INET, hostName.c_str(), &ignored) == 1 ? "IP:" : "DNS:") + hostName;
}

} // namespace

TTestCertificates::TTestCertificates(const TTempDir& dir) : FDir(dir)
{
    FCA = {dir.File("ca.crt"), dir.File("ca.key")};
    Run({OpenSsl, "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-nodes", "-days", "2", "-subj",
         "/CN=Quorlane Test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
         "keyUsage=critical,keyCertSign,cRLSign", "-keyout", FCA.KeyFile, "-out", FCA.CertificateFile});
}

TKeyPair TTestCertificates::Issue(const std::string& hostName)
{
    const std::string base = FDir.File("issued" + std::to_string(++FCount));
    const TKeyPair pair{base + ".crt", base + ".key"};
    const std::string extensions =
        FDir.Write("issued" + std::to_string(FCount) + ".ext", "basicConstraints=CA:FALSE\n"
                                                               "keyUsage=digitalSignature,keyEncipherment\n"
                                                               "extendedKeyUsage=serverAuth\n"
                                                               "subjectAltName=" +
                                                                   AltName(hostName) + "\n");
    Run({OpenSsl, "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + hostName, "-keyout", pair.KeyFile, "-out",
         base + ".csr"});
    Run({OpenSsl, "x509", "-req", "-sha256", "-days", "2", "-in", base + ".csr", "-CA", FCA.CertificateFile, "-CAkey",
         FCA.KeyFile, "-CAcreateserial", "-extfile", extensions, "-out", pair.CertificateFile});
    return pair;
}

TKeyPair TTestCertificates::SelfSigned(const std::string& hostName)
{
    const std::string base = FDir.File("self" + std::to_string(++FCount));
    const TKeyPair pair{base + ".crt", base + ".key"};
    Run({OpenSsl, "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-nodes", "-days", "2", "-subj", "/CN=" + hostName,
         "-addext", "subjectAltName=" + AltName(hostName), "-keyout", pair.KeyFile, "-out", pair.CertificateFile});
    return pair;
}

void TTestCertificates::Run(const std::vector<std::string>& argv)
{
    const std::string log = FDir.File("openssl.log");
    if (RunCommand(argv, log) != 0) {
        throw std::runtime_error("openssl " + argv.at(1) + " failed: " + ReadWholeFile(log));
    }
}

} // namespace quorlane::testsupport

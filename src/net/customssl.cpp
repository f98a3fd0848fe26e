#include "customssl.h"

namespace quorlane::net {

TCustomSSL::TCustomSSL(TTCPBlockSocket& owner) : OwnerSocket(owner) {}

void TCustomSSL::SetCertCAFile(const std::string& value)
{
    FCertCAFile = value;
}

void TCustomSSL::SetNotAvailableError()
{
    ErrorNumber = -1;
    ErrorText = "SSL/TLS support is not compiled!";
}

bool TCustomSSL::AskVerifyHook()
{
    return OnVerifyCert ? OnVerifyCert(this) : true;
}

bool TCustomSSL::MakeSelfSignedCertificate(const std::string&)
{
    return false;
}

void TCustomSSL::CopySettingsFrom(const TCustomSSL& other)
{
    Username = other.Username;
    Password = other.Password;
    VerifyCert = other.VerifyCert;
    SSLType = other.SSLType;
    KeyPassword = other.KeyPassword;
    Ciphers = other.Ciphers;
    CertificateFile = other.CertificateFile;
    PrivateKeyFile = other.PrivateKeyFile;
    SetCertCAFile(other.CertCAFile());
    CertCA = other.CertCA;
    TrustCertificate = other.TrustCertificate;
    TrustCertificateFile = other.TrustCertificateFile;
    Certificate = other.Certificate;
    PrivateKey = other.PrivateKey;
    PFX = other.PFX;
    PFXfile = other.PFXfile;
    CertComplianceLevel = other.CertComplianceLevel;
    SNIHost = other.SNIHost;
    WaitTimeout = other.WaitTimeout;
}

std::string TCustomSSL::LibraryVersionText()
{
    return {};
}

std::string TCustomSSL::LibraryNameText()
{
    return {};
}

bool TCustomSSL::HandshakeAsClient()
{
    SetNotAvailableError();
    return false;
}

bool TCustomSSL::HandshakeAsServer()
{
    SetNotAvailableError();
    return false;
}

bool TCustomSSL::CloseTls()
{
    SetNotAvailableError();
    return false;
}

bool TCustomSSL::CloseTlsBoth()
{
    SetNotAvailableError();
    return false;
}

int TCustomSSL::WriteData(const void*, int)
{
    SetNotAvailableError();
    return -1;
}

int TCustomSSL::ReadData(void*, int)
{
    SetNotAvailableError();
    return -1;
}

int TCustomSSL::PendingPlainBytes()
{
    SetNotAvailableError();
    return 0;
}

std::string TCustomSSL::ProtocolVersionText()
{
    return {};
}

std::string TCustomSSL::PeerSubject()
{
    return {};
}

std::int64_t TCustomSSL::PeerSerialNumber()
{
    return -1;
}

std::string TCustomSSL::PeerIssuer()
{
    return {};
}

std::string TCustomSSL::PeerCommonName()
{
    return {};
}

std::uint32_t TCustomSSL::PeerSubjectHash()
{
    return 0;
}

std::string TCustomSSL::PeerFingerprint()
{
    return {};
}

std::string TCustomSSL::PeerCertificateText()
{
    return {};
}

std::string TCustomSSL::CipherNameText()
{
    return {};
}

int TCustomSSL::CipherBits()
{
    return 0;
}

int TCustomSSL::CipherAlgorithmBits()
{
    return 0;
}

long TCustomSSL::VerifyResultCode()
{
    return 1;
}

} // namespace quorlane::net

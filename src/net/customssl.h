#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorlane::net {

class TTCPBlockSocket;
class TCustomSSL;

enum TSSLType : std::uint8_t { LT_all, LT_SSLv2, LT_SSLv3, LT_TLSv1, LT_TLSv1_1, LT_SSHv2 };

using THookVerifyCert = std::function<bool(TCustomSSL* Sender)>;

// The TLS plug-in of a TCP socket: every read and write of the socket passes through it once TLS has started.
// This base class has no TLS library behind it: each TLS operation fails with "SSL/TLS support is not compiled!".
class TCustomSSL
{
public:
    explicit TCustomSSL(TTCPBlockSocket& owner);
    virtual ~TCustomSSL() = default;
    TCustomSSL(const TCustomSSL&) = delete;
    TCustomSSL& operator=(const TCustomSSL&) = delete;

    THookVerifyCert OnVerifyCert;
    TTCPBlockSocket& OwnerSocket;
    bool TlsActive = false;
    // How the peer's side of the session ended: with its close_notify, or by the connection closing without one
    // (which anyone on the path can cause). Both false while the session runs.
    bool PeerClosed = false;
    bool CutOff = false;
    // The longest wait for the peer inside one TLS step: a handshake message, or the rest of a record.
    int WaitTimeout = 60000;
    int ErrorNumber = 0;
    std::string ErrorText;
    TSSLType SSLType = LT_all;
    std::string KeyPassword;
    std::string Ciphers;
    std::string CertificateFile;
    std::string PrivateKeyFile;
    std::string Certificate; // DER bytes
    std::string PrivateKey;  // DER bytes
    std::string PFX;
    std::string PFXfile;
    std::string CertCA;
    std::string TrustCertificate;
    std::string TrustCertificateFile;
    bool VerifyCert = false;
    std::string Username;
    std::string Password;
    std::string SSHChannelType;
    std::string SSHChannelArg1;
    std::string SSHChannelArg2;
    int CertComplianceLevel = -1;
    std::string SNIHost;

    const std::string& CertCAFile() const { return FCertCAFile; }
    virtual void SetCertCAFile(const std::string& value);

    virtual bool MakeSelfSignedCertificate(const std::string& hostName);
    virtual void CopySettingsFrom(const TCustomSSL& other);
    virtual std::string LibraryVersionText();
    virtual std::string LibraryNameText();
    virtual bool HandshakeAsClient();
    virtual bool HandshakeAsServer();
    virtual bool CloseTls();
    virtual bool CloseTlsBoth();
    virtual int WriteData(const void* buffer, int length);
    virtual int ReadData(void* buffer, int length);
    virtual int PendingPlainBytes();
    virtual std::string ProtocolVersionText();
    virtual std::string PeerSubject();
    virtual std::int64_t PeerSerialNumber();
    virtual std::string PeerIssuer();
    virtual std::string PeerCommonName();
    virtual std::uint32_t PeerSubjectHash();
    virtual std::string PeerFingerprint();
    virtual std::string PeerCertificateText();
    virtual std::string CipherNameText();
    virtual int CipherBits();
    virtual int CipherAlgorithmBits();
    virtual long VerifyResultCode();

    void SetNotAvailableError();
    bool AskVerifyHook();

private:
    std::string FCertCAFile;
};

// Creates the plug-in for a new socket. TlsPluginClass is what new sockets get: the OpenSSL plug-in once the TLS
// library initialised at start-up, otherwise the plug-in without TLS. Tests may switch it.
using TSSLClass = std::unique_ptr<TCustomSSL> (*)(TTCPBlockSocket& owner);
extern TSSLClass TlsPluginClass;

} // namespace quorlane::net

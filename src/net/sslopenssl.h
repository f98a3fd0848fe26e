#pragma once

#include "customssl.h"

#include <openssl/types.h>

namespace quorlane::net {

// Initialises OpenSSL once per process; true when it is usable. Called at start-up to pick TlsPluginClass.
bool LoadTlsLibrary();

// TLS through OpenSSL on the owner socket's connected handle.
class TSSLOpenSSL : public TCustomSSL
{
public:
    explicit TSSLOpenSSL(TTCPBlockSocket& owner);
    ~TSSLOpenSSL() override;
    static std::unique_ptr<TCustomSSL> Create(TTCPBlockSocket& owner);

    SSL* SslObject = nullptr;
    SSL_CTX* SslContext = nullptr;

    bool MakeSelfSignedCertificate(const std::string& hostName) override;
    std::string LibraryVersionText() override;
    std::string LibraryNameText() override;
    bool HandshakeAsClient() override;
    bool HandshakeAsServer() override;
    bool CloseTls() override;
    bool CloseTlsBoth() override;
    int WriteData(const void* buffer, int length) override;
    int ReadData(void* buffer, int length) override;
    int PendingPlainBytes() override;
    std::string ProtocolVersionText() override;
    std::string PeerSubject() override;
    std::int64_t PeerSerialNumber() override;
    std::string PeerIssuer() override;
    std::string PeerCommonName() override;
    std::uint32_t PeerSubjectHash() override;
    std::string PeerFingerprint() override;
    std::string PeerCertificateText() override;
    std::string CipherNameText() override;
    int CipherBits() override;
    int CipherAlgorithmBits() override;
    long VerifyResultCode() override;

    bool TakeLibraryError();
    bool CreateContext(bool server);
    void ReleaseTlsState();
    bool PrepareTlsState(bool server);
    bool LoadKeys();
    bool LoadPkcs12(const std::string& data);
    // Waits up to WaitTimeout for the socket to be ready for events (POLLIN, POLLOUT); false, with the owner
    // socket's error set, when it was not.
    bool AwaitSocket(short events);

private:
    bool AttachSocket();
    int TransferResult(int result);
    // Clears the last error; false, with the error set, when no TLS session is active.
    bool StartTransfer();
};

} // namespace quorlane::net

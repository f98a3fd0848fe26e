#include "sslopenssl.h"

#include "addresstext.h"
#include "socketerrorcode.h"
#include "sslnone.h"
#include "tcpblocksocket.h"
#include "textparse.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace quorlane::net {

namespace {

// A socket BIO that sends with MSG_NOSIGNAL: OpenSSL's own socket BIO writes with write(), which raises SIGPIPE
// and ends the program when the peer has closed the connection. It waits for the socket through the owner socket's
// wait, so that a handshake or a record that stalls half-way keeps the heartbeat going and can be stopped.
TSSLOpenSSL& PluginOf(BIO* bio)
{
    return *static_cast<TSSLOpenSSL*>(BIO_get_data(bio));
}

int SocketOf(BIO* bio)
{
    return PluginOf(bio).OwnerSocket.Handle;
}

int NoSignalWrite(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    if (!PluginOf(bio).AwaitSocket(POLLOUT)) {
        return -1;
    }
    const auto count = static_cast<int>(send(SocketOf(bio), data, static_cast<std::size_t>(length), MSG_NOSIGNAL));
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        BIO_set_retry_write(bio);
    }
    return count;
}

int NoSignalRead(BIO* bio, char* data, int length)
{
    BIO_clear_retry_flags(bio);
    if (!PluginOf(bio).AwaitSocket(POLLIN)) {
        return -1;
    }
    const auto count = static_cast<int>(recv(SocketOf(bio), data, static_cast<std::size_t>(length), 0));
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        BIO_set_retry_read(bio);
    }
    return count;
}

long NoSignalControl(BIO* bio, int command, long, void* pointer)
{
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_C_GET_FD:
        if (pointer != nullptr) {
            *static_cast<int*>(pointer) = SocketOf(bio);
        }
        return SocketOf(bio);
    default:
        return 0;
    }
}

BIO* NewNoSignalSocketBio(TSSLOpenSSL& plugin)
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "socket without SIGPIPE");
        BIO_meth_set_write(m, NoSignalWrite);
        BIO_meth_set_read(m, NoSignalRead);
        BIO_meth_set_ctrl(m, NoSignalControl);
        return m;
    }();
    BIO* bio = BIO_new(method);
    if (bio != nullptr) {
        BIO_set_data(bio, &plugin);
        BIO_set_init(bio, 1);
    }
    return bio;
}

bool RawBytesWaiting(int handle)
{
    pollfd fd{handle, POLLIN, 0};
    return poll(&fd, 1, 0) > 0;
}

int KeyPasswordCallback(char* buffer, int size, int, void* data)
{
    const auto* plugin = static_cast<const TCustomSSL*>(data);
    const std::string password = plugin != nullptr ? plugin->KeyPassword : std::string();
    const int length = std::min(static_cast<int>(password.size()), size - 1);
    std::memcpy(buffer, password.data(), static_cast<std::size_t>(std::max(length, 0)));
    buffer[std::max(length, 0)] = '\0';
    return std::max(length, 0);
}

struct TX509Free
{
    void operator()(X509* x) const { X509_free(x); }
};
using TX509Ptr = std::unique_ptr<X509, TX509Free>;

struct TPKeyFree
{
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using TPKeyPtr = std::unique_ptr<EVP_PKEY, TPKeyFree>;

struct TBioFree
{
    void operator()(BIO* b) const { BIO_free_all(b); }
};
using TBioPtr = std::unique_ptr<BIO, TBioFree>;

template <typename Encode, typename T>
std::string DerBytes(Encode encode, T* object)
{
    const int length = encode(object, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(length), '\0');
    auto* out = reinterpret_cast<unsigned char*>(bytes.data());
    encode(object, &out);
    return bytes;
}

std::string NameLine(const X509_NAME* name)
{
    char buffer[4096] = {};
    X509_NAME_oneline(name, buffer, sizeof buffer);
    return buffer;
}

} // namespace

bool LoadTlsLibrary()
{
    static const bool loaded =
        OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) == 1;
    return loaded;
}

// New sockets get the plug-in without TLS until OpenSSL has initialised at start-up.
TSSLClass TlsPluginClass = &TSSLNone::Create;

namespace {
const bool TlsStartup = [] {
    if (LoadTlsLibrary()) {
        TlsPluginClass = &TSSLOpenSSL::Create;
    }
    return true;
}();
} // namespace

TSSLOpenSSL::TSSLOpenSSL(TTCPBlockSocket& owner) : TCustomSSL(owner)
{
    Ciphers = "DEFAULT";
}

TSSLOpenSSL::~TSSLOpenSSL()
{
    ReleaseTlsState();
}

std::unique_ptr<TCustomSSL> TSSLOpenSSL::Create(TTCPBlockSocket& owner)
{
    return std::make_unique<TSSLOpenSSL>(owner);
}

std::string TSSLOpenSSL::LibraryVersionText()
{
    return OpenSSL_version(OPENSSL_VERSION);
}

std::string TSSLOpenSSL::LibraryNameText()
{
    return "ssl_openssl";
}

bool TSSLOpenSSL::TakeLibraryError()
{
    ErrorText.clear();
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    ErrorNumber = static_cast<int>(code);
    if (code == 0) {
        return true;
    }
    char buffer[256] = {};
    ERR_error_string_n(code, buffer, sizeof buffer);
    ErrorText = buffer;
    return false;
}

bool TSSLOpenSSL::CreateContext(bool server)
{
    ErrorText.clear();
    ErrorNumber = 0;
    SslContext = nullptr;
    if (SSLType == LT_TLSv1_1 || SSLType == LT_SSHv2) {
        return false;
    }
    // OpenSSL 3 has only the version-flexible method; a fixed version is that method limited to the version.
    // SSL 2 no longer exists at all.
    if (SSLType != LT_SSLv2) {
        SslContext = SSL_CTX_new(TLS_method());
    }
    if (SslContext == nullptr) {
        TakeLibraryError();
        return false;
    }
    if (SSLType == LT_SSLv3 || SSLType == LT_TLSv1) {
        const int version = SSLType == LT_SSLv3 ? SSL3_VERSION : TLS1_VERSION;
        SSL_CTX_set_min_proto_version(SslContext, version);
        SSL_CTX_set_max_proto_version(SslContext, version);
    }
    SSL_CTX_set_cipher_list(SslContext, Ciphers.c_str());
    SSL_CTX_set_verify(SslContext, VerifyCert ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_default_passwd_cb(SslContext, KeyPasswordCallback);
    SSL_CTX_set_default_passwd_cb_userdata(SslContext, this);
    // Without automatic retries a read that only consumed a handshake message returns, so the socket's own
    // time-out governs the wait for application data.
    SSL_CTX_clear_mode(SslContext, SSL_MODE_AUTO_RETRY);
    if (VerifyCert && CertCAFile().empty()) {
        // The system's trust store; OpenSSL honours SSL_CERT_FILE and SSL_CERT_DIR here.
        SSL_CTX_set_default_verify_paths(SslContext);
    }
    if (server && CertificateFile.empty() && Certificate.empty() && PFXfile.empty() && PFX.empty()) {
        MakeSelfSignedCertificate(OwnerSocket.ReverseLookup(OwnerSocket.RemoteIPText()));
    }
    if (!LoadKeys()) {
        return false;
    }
    SslObject = SSL_new(SslContext);
    if (SslObject == nullptr) {
        TakeLibraryError();
        return false;
    }
    return true;
}

bool TSSLOpenSSL::LoadKeys()
{
    if (SslContext == nullptr) {
        return false;
    }
    const auto steps = [this] {
        if (!CertificateFile.empty() && SSL_CTX_use_certificate_chain_file(SslContext, CertificateFile.c_str()) != 1 &&
            SSL_CTX_use_certificate_file(SslContext, CertificateFile.c_str(), SSL_FILETYPE_PEM) != 1 &&
            SSL_CTX_use_certificate_file(SslContext, CertificateFile.c_str(), SSL_FILETYPE_ASN1) != 1) {
            return false;
        }
        if (!Certificate.empty() &&
            SSL_CTX_use_certificate_ASN1(SslContext, static_cast<int>(Certificate.size()),
                                         reinterpret_cast<const unsigned char*>(Certificate.data())) != 1) {
            return false;
        }
        TakeLibraryError();
        if (!PrivateKeyFile.empty() &&
            SSL_CTX_use_PrivateKey_file(SslContext, PrivateKeyFile.c_str(), SSL_FILETYPE_PEM) != 1 &&
            SSL_CTX_use_PrivateKey_file(SslContext, PrivateKeyFile.c_str(), SSL_FILETYPE_ASN1) != 1) {
            return false;
        }
        if (!PrivateKey.empty() &&
            SSL_CTX_use_PrivateKey_ASN1(EVP_PKEY_RSA, SslContext,
                                        reinterpret_cast<const unsigned char*>(PrivateKey.data()),
                                        static_cast<long>(PrivateKey.size())) != 1) {
            return false;
        }
        TakeLibraryError();
        if (!CertCAFile().empty() && SSL_CTX_load_verify_locations(SslContext, CertCAFile().c_str(), nullptr) != 1) {
            return false;
        }
        if (!PFXfile.empty()) {
            std::ifstream file(PFXfile, std::ios::binary);
            const std::string data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
            if (!file.good() && !file.eof()) {
                return false;
            }
            if (!file.is_open() || !LoadPkcs12(data)) {
                return false;
            }
        }
        return PFX.empty() || LoadPkcs12(PFX);
    };
    const bool result = steps();
    TakeLibraryError();
    return result;
}

bool TSSLOpenSSL::LoadPkcs12(const std::string& data)
{
    const TBioPtr bio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
    PKCS12* parsed = bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr;
    if (parsed == nullptr) {
        return false;
    }
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* authorities = nullptr;
    bool result = false;
    if (PKCS12_parse(parsed, KeyPassword.c_str(), &key, &certificate, &authorities) == 1) {
        result = SSL_CTX_use_certificate(SslContext, certificate) > 0 && SSL_CTX_use_PrivateKey(SslContext, key) > 0;
    }
    EVP_PKEY_free(key);
    X509_free(certificate);
    sk_X509_pop_free(authorities, X509_free);
    PKCS12_free(parsed);
    return result;
}

bool TSSLOpenSSL::MakeSelfSignedCertificate(const std::string& hostName)
{
    // RSA 2048 with SHA-256: what OpenSSL's default security level accepts (1024 bits and SHA-1 are refused).
    const TPKeyPtr key(EVP_RSA_gen(2048));
    const TX509Ptr certificate(X509_new());
    if (!key || !certificate) {
        return false;
    }
    X509* x = certificate.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 0);
    X509_gmtime_adj(X509_getm_notBefore(x), -86400);
    X509_gmtime_adj(X509_getm_notAfter(x), 5184000);
    X509_set_pubkey(x, key.get());
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("CZ"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(hostName.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(x, name);
    if (X509_sign(x, key.get(), EVP_sha256()) <= 0) {
        TakeLibraryError();
        return false;
    }
    Certificate = DerBytes(i2d_X509, x);
    PrivateKey = DerBytes(i2d_PrivateKey, key.get());
    return true;
}

void TSSLOpenSSL::ReleaseTlsState()
{
    PeerClosed = false;
    CutOff = false;
    if (SslObject != nullptr) {
        SSL_free(SslObject);
        SslObject = nullptr;
    }
    if (SslContext != nullptr) {
        SSL_CTX_free(SslContext);
        SslContext = nullptr;
    }
    TlsActive = false;
}

bool TSSLOpenSSL::PrepareTlsState(bool server)
{
    ReleaseTlsState();
    if (!CreateContext(server)) {
        ReleaseTlsState();
        return false;
    }
    return true;
}

bool TSSLOpenSSL::HandshakeAsClient()
{
    if (OwnerSocket.Handle == InvalidSocket || !PrepareTlsState(false) || !AttachSocket()) {
        return false;
    }
    if (!SNIHost.empty()) {
        SSL_set_tlsext_host_name(SslObject, SNIHost.c_str());
    }
    if (VerifyCert && !SNIHost.empty()) {
        // The chain alone proves nothing about whom we reached: the certificate must also name this host.
        if (IsIPv4Text(SNIHost) || IsIPv6Text(SNIHost)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(SslObject), SNIHost.c_str());
        } else {
            SSL_set1_host(SslObject, SNIHost.c_str());
        }
    }
    if (SSL_connect(SslObject) < 1) {
        TakeLibraryError();
        return false;
    }
    if (VerifyCert && (VerifyResultCode() != X509_V_OK || !AskVerifyHook())) {
        return false;
    }
    TlsActive = true;
    return true;
}

bool TSSLOpenSSL::HandshakeAsServer()
{
    if (OwnerSocket.Handle == InvalidSocket || !PrepareTlsState(true) || !AttachSocket()) {
        return false;
    }
    if (SSL_accept(SslObject) < 1) {
        TakeLibraryError();
        return false;
    }
    TlsActive = true;
    return true;
}

bool TSSLOpenSSL::AttachSocket()
{
    BIO* bio = NewNoSignalSocketBio(*this);
    if (bio == nullptr) {
        TakeLibraryError();
        return false;
    }
    SSL_set_bio(SslObject, bio, bio);
    return true;
}

bool TSSLOpenSSL::CloseTls()
{
    if (SslObject != nullptr) {
        SSL_shutdown(SslObject);
    }
    ReleaseTlsState();
    return true;
}

bool TSSLOpenSSL::CloseTlsBoth()
{
    if (SslObject != nullptr && SSL_shutdown(SslObject) == 0) {
        shutdown(OwnerSocket.Handle, SHUT_WR);
        SSL_shutdown(SslObject);
    }
    ReleaseTlsState();
    return true;
}

int TSSLOpenSSL::TransferResult(int result)
{
    const int systemError = errno;
    const int error = SSL_get_error(SslObject, result);
    switch (error) {
    case SSL_ERROR_NONE:
        return result;
    case SSL_ERROR_ZERO_RETURN:
        PeerClosed = true;
        return 0;
    default:
        // OpenSSL 3 names the end of the connection inside a session; older versions give a system error and 0.
        CutOff = (error == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) ||
                 (error == SSL_ERROR_SYSCALL && result == 0);
        // The library's code is the error number; its queued error, or else the system's, gives the text.
        TakeLibraryError();
        if (ErrorText.empty()) {
            ErrorText = error == SSL_ERROR_SYSCALL && systemError != 0
                            ? std::string("TLS connection failed: ") + std::strerror(systemError)
                            : "TLS transfer failed (library error " + std::to_string(error) + ")";
        }
        ErrorNumber = error;
        return result;
    }
}

int TSSLOpenSSL::WriteData(const void* buffer, int length)
{
    if (!StartTransfer()) {
        return -1;
    }
    while (true) {
        ERR_clear_error();
        const int result = SSL_write(SslObject, buffer, length);
        const int error = SSL_get_error(SslObject, result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            return TransferResult(result);
        }
    }
}

int TSSLOpenSSL::ReadData(void* buffer, int length)
{
    if (!StartTransfer()) {
        return -1;
    }
    while (true) {
        ERR_clear_error();
        const int result = SSL_read(SslObject, buffer, length);
        const int error = SSL_get_error(SslObject, result);
        if (error == SSL_ERROR_WANT_READ && !RawBytesWaiting(OwnerSocket.Handle)) {
            return 0; // only a handshake message arrived; the caller waits for more with its own time-out
        }
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            return TransferResult(result);
        }
    }
}

// An error the owner socket already has (TLS closing after a failed transfer) stays what the socket reports.
bool TSSLOpenSSL::AwaitSocket(short events)
{
    const int previousNumber = OwnerSocket.ErrorNumber;
    const std::string previousText = OwnerSocket.ErrorText;
    const bool ready = OwnerSocket.WaitFor(events, WaitTimeout);
    if (previousNumber != 0) {
        OwnerSocket.ErrorNumber = previousNumber;
        OwnerSocket.ErrorText = previousText;
    } else if (!ready && OwnerSocket.ErrorNumber == 0) {
        OwnerSocket.ErrorNumber = WSAETIMEDOUT; // a stop, the deadline or a failed wait have set their own
    }
    if (!ready) {
        errno = ETIMEDOUT;
    }
    return ready;
}

bool TSSLOpenSSL::StartTransfer()
{
    ErrorNumber = 0;
    ErrorText.clear();
    if (SslObject != nullptr) {
        return true;
    }
    ErrorNumber = SSL_ERROR_SSL;
    ErrorText = "TLS is not active on this connection";
    return false;
}

int TSSLOpenSSL::PendingPlainBytes()
{
    return SslObject != nullptr ? SSL_pending(SslObject) : 0;
}

std::string TSSLOpenSSL::ProtocolVersionText()
{
    return SslObject != nullptr ? SSL_get_version(SslObject) : "";
}

namespace {
TX509Ptr PeerCertificateOf(SSL* ssl)
{
    return TX509Ptr(ssl != nullptr ? SSL_get1_peer_certificate(ssl) : nullptr);
}
} // namespace

std::string TSSLOpenSSL::PeerSubject()
{
    const TX509Ptr peer = PeerCertificateOf(SslObject);
    return peer ? NameLine(X509_get_subject_name(peer.get())) : "";
}

std::int64_t TSSLOpenSSL::PeerSerialNumber()
{
    const TX509Ptr peer = PeerCertificateOf(SslObject);
    return peer ? ASN1_INTEGER_get(X509_get_serialNumber(peer.get())) : -1;
}

std::string TSSLOpenSSL::PeerIssuer()
{
    const TX509Ptr peer = PeerCertificateOf(SslObject);
    return peer ? NameLine(X509_get_issuer_name(peer.get())) : "";
}

std::string TSSLOpenSSL::PeerCommonName()
{
    return Trim(TextBefore(TextAfter(PeerSubject(), "/CN="), "/"));
}

std::uint32_t TSSLOpenSSL::PeerSubjectHash()
{
    const TX509Ptr peer = PeerCertificateOf(SslObject);
    return peer ? static_cast<std::uint32_t>(
                      X509_NAME_hash_ex(X509_get_subject_name(peer.get()), nullptr, nullptr, nullptr))
                : 0;
}

std::string TSSLOpenSSL::PeerFingerprint()
{
    const TX509Ptr peer = PeerCertificateOf(SslObject);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!peer || X509_digest(peer.get(), EVP_md5(), digest, &length) != 1) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string TSSLOpenSSL::PeerCertificateText()
{
    const TX509Ptr peer = PeerCertificateOf(SslObject);
    const TBioPtr bio(BIO_new(BIO_s_mem()));
    if (!peer || !bio) {
        return {};
    }
    X509_print(bio.get(), peer.get());
    std::string text(BIO_ctrl_pending(bio.get()), '\0');
    text.resize(static_cast<std::size_t>(std::max(BIO_read(bio.get(), text.data(), static_cast<int>(text.size())), 0)));
    return ReplaceAll(text, "\n", "\r\n");
}

std::string TSSLOpenSSL::CipherNameText()
{
    const SSL_CIPHER* cipher = SslObject != nullptr ? SSL_get_current_cipher(SslObject) : nullptr;
    return cipher != nullptr ? SSL_CIPHER_get_name(cipher) : "";
}

int TSSLOpenSSL::CipherBits()
{
    const SSL_CIPHER* cipher = SslObject != nullptr ? SSL_get_current_cipher(SslObject) : nullptr;
    return cipher != nullptr ? SSL_CIPHER_get_bits(cipher, nullptr) : 0;
}

int TSSLOpenSSL::CipherAlgorithmBits()
{
    const SSL_CIPHER* cipher = SslObject != nullptr ? SSL_get_current_cipher(SslObject) : nullptr;
    int bits = 0;
    if (cipher != nullptr) {
        SSL_CIPHER_get_bits(cipher, &bits);
    }
    return bits;
}

long TSSLOpenSSL::VerifyResultCode()
{
    return SslObject != nullptr ? SSL_get_verify_result(SslObject) : X509_V_ERR_UNSPECIFIED;
}

} // namespace quorlane::net

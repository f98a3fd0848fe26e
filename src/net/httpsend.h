#pragma once

#include "memorystream.h"
#include "netclient.h"
#include "tcpblocksocket.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quorlane::net {

enum THTTPBodyMode : std::uint8_t { bmUntilClose, bmLength, bmChunked };

// Why the last PerformRequest failed.
enum THTTPFailure : std::uint8_t {
    hfNone,      // it did not
    hfSocket,    // the connection or the peer failed: the socket's error says how
    hfCancelled, // the owner set the socket's StopFlag
    hfDeadline,  // the request's Deadline passed
    hfLineLimit, // a line of the answer was longer than LineLimit
    hfHeadLimit, // the answer's head was larger than HeadLimit
    hfBodyLimit, // the body was larger than MaxBodySize
    hfProxy,     // the proxy could not be reached or refused the connection
};

// One HTTP/1.x exchange at a time over a blocking TCP socket, with TLS for "https" addresses. A caller sets request
// headers or a body, calls PerformRequest, then reads the status, the answer's head and its body from the same
// object. The connection is kept between calls only when the protocol version and the server allow it; redirects
// are never followed and nothing is retried. Every failure is a false result; Failure and FailureText say why, as
// do Sock's error number and text. What a server sends is bounded: a line by LineLimit, the head by HeadLimit, the
// body by MaxBodySize, the whole request's time by Deadline. To cancel, the owner sets Sock.StopFlag from a status
// report (HR_ReadCount comes with every read) or from the heartbeat (Sock.HeartbeatRate, Sock.OnHeartbeat), which
// keeps beating while a server sends nothing, from connecting through the TLS handshake to the last byte.
class THTTPSend : public TNetClient
{
public:
    THTTPSend();
    ~THTTPSend() override;
    THTTPSend(const THTTPSend&) = delete;
    THTTPSend& operator=(const THTTPSend&) = delete;

    bool PerformRequest(const std::string& method, const std::string& url);
    void ResetResponse();

    // Before a call: extra request header lines. After it: the answer's status line(s), unfolded header lines and
    // one empty line.
    std::vector<std::string> Headers;
    // Before a call: the request body. After it: the answer's body.
    TMemoryStream Document;
    std::string MimeType = "text/html";
    std::string Protocol = "1.0";
    bool KeepAlive = true;
    std::int32_t KeepAliveTimeout = 300;
    bool Status100 = false;
    std::string ProxyHost;
    std::string ProxyPort = "8080";
    std::string ProxyUser;
    std::string ProxyPass;
    std::string UserAgent = "Mozilla/4.0 (compatible; Quorlane)";
    // name=value lines, sent with every request and updated from every answer.
    std::vector<std::string> Cookies;
    std::int32_t RangeStart = 0;
    std::int32_t RangeEnd = 0;
    bool AddPortNumberToHost = true;
    // The largest body taken, in bytes; 0: no limit. An announced length above it fails before the body is read, a
    // body without one as soon as it passes the limit.
    std::int64_t MaxBodySize = 0;
    // How long one request may take, connecting included, however slowly the server sends; 0: no limit.
    std::chrono::milliseconds Deadline{0};
    static constexpr std::size_t LineLimit = 64 * 1024;
    static constexpr std::size_t HeadLimit = 256 * 1024;
    // Declared last so that it is destroyed first: closing the connection comes before the buffers go.
    TTCPBlockSocket Sock;

    THTTPBodyMode BodyMode() const { return FBodyMode; }
    const std::string& ConnectedHost() const { return FConnectedHost; }
    const std::string& ConnectedPort() const { return FConnectedPort; }
    std::int32_t ResultCode() const { return FResultCode; }
    const std::string& ResultString() const { return FResultString; }
    std::int32_t DownloadSize() const { return FDownloadSize; }
    std::int32_t UploadSize() const { return FUploadSize; }
    THTTPFailure Failure() const { return FFailure; }
    // Why the last request failed, for people: "cancelled", a limit ("the server's headers exceed 256 KiB", "the
    // answer exceeds the 4 MiB limit", "the request took longer than 60 s"), the proxy and what it said ("the proxy
    // 127.0.0.1:3128 refused the connection: HTTP/1.0 407 Proxy Authentication Required") or the socket's error
    // text. Empty after a success. A request that failed for any reason but hfSocket or hfProxy leaves Document
    // empty.
    const std::string& FailureText() const { return FFailureText; }

private:
    struct TRequestTarget;

    void StartRequest();
    bool Exchange(const std::string& method, const std::string& url);
    void NoteFailure();
    void FailAtLimit(THTTPFailure failure, const std::string& text);
    void NoteProxyFailure();
    void BuildRequestHead(const std::string& method, const TRequestTarget& request, bool sending, bool expecting);
    bool EnsureConnection(bool tlsWanted);
    bool OpenConnection(bool tlsWanted);
    bool DropConnection();
    void ForgetConnection();
    std::string ConnectionKey(bool tls) const;
    std::string HeaderBlockText() const;
    bool SendRequest(bool sending, bool expecting, std::string& pendingStatus, std::vector<std::string>& answerHead);
    std::string ReadAnswerLine(bool head);
    std::string ReadNonEmptyLine(bool head);
    void ReadHeadLines(std::vector<std::string>& lines);
    void ReadStatus(const std::string& pendingStatus);
    std::int64_t ReadHead(bool& closing, std::vector<std::string> lines);
    void ParseStatusLine(const std::string& line);
    bool ReadBody(std::int64_t length);
    bool ReadBodyUntilClose();
    bool ReadBodyOfLength(std::int64_t length);
    bool ReadBodyChunked();
    bool BodyFits(std::int64_t size);
    void CollectCookies();
    void StoreCookie(const std::string& name, const std::string& value);

    THTTPBodyMode FBodyMode = bmUntilClose;
    std::string FConnectedHost;
    std::string FConnectedPort;
    std::string FConnectionKey;
    std::int32_t FResultCode = 0;
    std::string FResultString;
    std::int32_t FDownloadSize = 0;
    std::int32_t FUploadSize = 0;
    bool FPlainProxy = false;
    std::size_t FHeadBytes = 0;
    THTTPFailure FFailure = hfNone;
    std::string FFailureText;
};

// GETs url with a fresh client and, on success, replaces lines with the body split at CR, LF or CR LF (a zero byte
// ends the text); on failure lines stay as they were.
bool HttpGetLines(const std::string& url, std::vector<std::string>& lines);
// The same with a client the caller has set up and reads afterwards (status, head, the socket's error).
bool HttpGetLines(THTTPSend& http, const std::string& url, std::vector<std::string>& lines);

} // namespace quorlane::net

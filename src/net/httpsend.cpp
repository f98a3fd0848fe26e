#include "httpsend.h"

#include "addresstext.h"
#include "httpheader.h"
#include "socketerrorcode.h"
#include "textparse.h"
#include "urltext.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <new>

namespace quorlane::net {

namespace {

// A request body from this size on is sent apart from the head instead of being copied into one text with it.
constexpr std::int64_t SeparateBodySize = 65536;

std::string UpperCase(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string LowerCase(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The whole text as a number in the given base, or fallback when it is not one or does not fit.
std::int64_t NumberOr(const std::string& text, int base, std::int64_t fallback)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return (ec == std::errc() && ptr == end && !text.empty()) ? value : fallback;
}

// "4 MiB", "256 KiB" or "1000 bytes".
std::string SizeText(std::int64_t bytes)
{
    if (bytes > 0 && bytes % (1024 * 1024) == 0) {
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    }
    if (bytes > 0 && bytes % 1024 == 0) {
        return std::to_string(bytes / 1024) + " KiB";
    }
    return std::to_string(bytes) + " bytes";
}

// "60 s", or "1500 ms" when it is no whole number of seconds.
std::string DurationText(std::chrono::milliseconds duration)
{
    const auto ms = duration.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string Join(const std::vector<std::string>& lines, std::string_view separator)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += i == 0 ? "" : separator;
        text += lines[i];
    }
    return text;
}

} // namespace

struct THTTPSend::TRequestTarget
{
    std::string Scheme;
    std::string Host;
    std::string Port;
    std::string Target;
    std::string User;
    std::string Password;
};

THTTPSend::THTTPSend()
{
    TargetPort = "80";
    Timeout = 90000;
    Sock.ConvertLineEnd = true;
    Sock.MaxLineLength = static_cast<int>(LineLimit);
    Sock.Owner = this;
    ResetResponse();
}

THTTPSend::~THTTPSend() = default;

void THTTPSend::ResetResponse()
{
    RangeStart = 0;
    RangeEnd = 0;
    Document.Clear();
    Headers.clear();
    MimeType = "text/html";
}

// Memory runs out only for an answer too large to hold. The request then fails like any other answer the client
// cannot take, with the socket's "no buffer space" error, and the partial body is let go at once.
bool THTTPSend::PerformRequest(const std::string& method, const std::string& url)
{
    StartRequest();
    bool done = false;
    try {
        done = Exchange(method, url);
    } catch (const std::bad_alloc&) {
        Document.Clear();
        Sock.ErrorNumber = WSAENOBUFS;
        Sock.ErrorText = Sock.GetErrorDescEx();
        done = DropConnection();
    }
    if (!done) {
        NoteFailure();
    }
    return done;
}

void THTTPSend::StartRequest()
{
    FFailure = hfNone;
    FFailureText.clear();
    FHeadBytes = 0;
    Sock.StopReason = SR_None;
    Sock.Deadline.reset();
    if (Deadline.count() > 0) {
        Sock.Deadline = std::chrono::steady_clock::now() + Deadline;
    }
}

// Names why the request failed, unless a limit has named it already. A request stopped by the owner, the deadline
// or a limit keeps nothing a caller could take for an answer.
void THTTPSend::NoteFailure()
{
    if (FFailure == hfNone && Sock.StopReason == SR_StopFlag) {
        FFailure = hfCancelled;
        FFailureText = "cancelled";
    } else if (FFailure == hfNone && Sock.StopReason == SR_Deadline) {
        FFailure = hfDeadline;
        FFailureText = "the request took longer than " + DurationText(Deadline);
    } else if (FFailure == hfNone) {
        FFailure = hfSocket;
        FFailureText = Sock.ErrorText;
    }
    if (FFailure != hfSocket && FFailure != hfProxy) {
        Document.Clear();
    }
}

// A connection that failed on its way through a proxy names the proxy and, when it refused, what it said.
void THTTPSend::NoteProxyFailure()
{
    std::string proxy;
    std::string said;
    if (!Sock.SocksIP.empty()) {
        proxy = HostPortText(Sock.SocksIP, Sock.SocksPort);
        said = Sock.SocksRefusal;
    } else if (!Sock.HTTPTunnelIP.empty()) {
        proxy = HostPortText(Sock.HTTPTunnelIP, Sock.HTTPTunnelPort);
        said = Sock.TunnelOpen ? "" : Sock.TunnelStatusLine;
    } else if (FPlainProxy) {
        proxy = HostPortText(ProxyHost, ProxyPort);
    }
    if (proxy.empty() || Sock.StopReason != SR_None) {
        return;
    }
    FFailure = hfProxy;
    if (!FPlainProxy && Sock.ProxyReached) {
        FFailureText =
            "the proxy " + proxy + (said.empty() ? " failed: " + Sock.ErrorText : " refused the connection: " + said);
    } else {
        FFailureText = "the proxy " + proxy + " cannot be reached: " + Sock.ErrorText;
    }
}

void THTTPSend::FailAtLimit(THTTPFailure failure, const std::string& text)
{
    FFailure = failure;
    FFailureText = text;
    Sock.ErrorNumber = WSAENOBUFS;
    Sock.ErrorText = Sock.GetErrorDescEx();
}

bool THTTPSend::Exchange(const std::string& method, const std::string& url)
{
    FResultCode = 500;
    FResultString.clear();
    FDownloadSize = 0;
    FUploadSize = 0;

    const TUrlParts parts = SplitUrl(url);
    TRequestTarget request{
        parts.Scheme, parts.Host, parts.Port, parts.Target, PercentDecode(parts.User), PercentDecode(parts.Password)};
    if (request.User.empty()) {
        request.User = UserName;
        request.Password = Password;
    }

    const bool tls = UpperCase(parts.Scheme) == "HTTPS";
    const bool tunnel = tls && !ProxyHost.empty();
    Sock.HTTPTunnelIP = tls ? ProxyHost : "";
    Sock.HTTPTunnelPort = tls ? ProxyPort : "";
    Sock.HTTPTunnelUser = tls ? ProxyUser : "";
    Sock.HTTPTunnelPass = tls ? ProxyPass : "";
    FPlainProxy = !ProxyHost.empty() && !tunnel;

    const bool sending = Document.Size() > 0;
    const bool expecting = Status100 && sending && Protocol == "1.1";
    BuildRequestHead(method, request, sending, expecting);

    TargetHost = FPlainProxy ? ProxyHost : request.Host;
    TargetPort = FPlainProxy ? ProxyPort : request.Port;
    if (!EnsureConnection(tls)) {
        ForgetConnection();
        return false;
    }

    std::vector<std::string> answerHead;
    std::string pendingStatus;
    if (!SendRequest(sending, expecting, pendingStatus, answerHead)) {
        return DropConnection();
    }

    ResetResponse();
    std::int64_t length = -1;
    FBodyMode = bmUntilClose;
    ReadStatus(pendingStatus);
    bool closing = Protocol != "1.1";
    if (!Headers.empty()) {
        length = ReadHead(closing, answerHead);
    }
    if (Sock.ErrorNumber != 0) {
        return DropConnection();
    }
    // The cookies hold once the head is complete, also when the body is cut off afterwards.
    CollectCookies();

    bool result = true;
    if (method != "HEAD" && FResultCode != 204 && FResultCode != 304) {
        result = ReadBody(length);
    }
    Document.SetPosition(0);
    if (!result) {
        return DropConnection();
    }
    if (closing) {
        Sock.CloseConnection();
        ForgetConnection();
    }
    return true;
}

// A failed exchange leaves the connection in an unknown state (half a request sent, part of an answer unread):
// it is closed so that a later call cannot read this answer's rest as its own. The socket keeps its error.
bool THTTPSend::DropConnection()
{
    Sock.CloseConnection();
    ForgetConnection();
    return false;
}

void THTTPSend::BuildRequestHead(const std::string& method, const TRequestTarget& request, bool sending, bool expecting)
{
    const auto insertTop = [this](std::string line) { Headers.insert(Headers.begin(), std::move(line)); };

    if (expecting) {
        insertTop("Expect: 100-continue");
    }
    if (sending) {
        insertTop("Content-Length: " + std::to_string(Document.Size()));
        if (!MimeType.empty()) {
            insertTop("Content-Type: " + MimeType);
        }
    }
    if (!UserAgent.empty()) {
        insertTop("User-Agent: " + UserAgent);
    }
    if (RangeStart > 0 || RangeEnd > 0) {
        const std::string range = "Range: bytes=" + std::to_string(RangeStart) + "-";
        insertTop(RangeEnd >= RangeStart ? range + std::to_string(RangeEnd) : range);
    }
    if (!Cookies.empty()) {
        insertTop("Cookie: " + Join(Cookies, "; "));
    }
    const std::string prefix = FPlainProxy ? "Proxy-" : "";
    if (KeepAlive) {
        insertTop(prefix + "Connection: keep-alive");
        insertTop("Keep-Alive: " + std::to_string(KeepAliveTimeout));
    } else {
        insertTop(prefix + "Connection: close");
    }
    if (!request.User.empty()) {
        insertTop("Authorization: Basic " + Base64Encode(request.User + ":" + request.Password));
    }
    if (FPlainProxy && !ProxyUser.empty()) {
        insertTop("Proxy-Authorization: Basic " + Base64Encode(ProxyUser + ":" + ProxyPass));
    }
    const std::string host = IsIPv6Text(request.Host) ? "[" + request.Host + "]" : request.Host;
    insertTop(AddPortNumberToHost && request.Port != "80" ? "Host: " + host + ":" + request.Port : "Host: " + host);

    std::string target = request.Target;
    if (target == "/*") {
        target = "*";
    } else if (FPlainProxy) {
        target = request.Scheme + "://" + host + ":" + request.Port + target;
    }
    const std::string requestLine = UpperCase(method) + " " + target;
    insertTop(Protocol == "0.9" ? requestLine : requestLine + " HTTP/" + Protocol);

    if (!Headers.back().empty()) {
        Headers.emplace_back();
    }
}

bool THTTPSend::EnsureConnection(bool tlsWanted)
{
    // Bytes already buffered count as pending too: they belong to no request that is still to be sent.
    if (Sock.Handle != InvalidSocket && !FConnectedHost.empty() && FConnectionKey == ConnectionKey(tlsWanted) &&
        !Sock.WaitReadableOrBuffered(0)) {
        return true;
    }
    return OpenConnection(tlsWanted);
}

void THTTPSend::ForgetConnection()
{
    FConnectedHost.clear();
    FConnectedPort.clear();
    FConnectionKey.clear();
}

// What a kept connection must share with the next request to serve it: the scheme, where it leads and through which
// proxy, and under TLS every setting the session was made with (verification, trusted certificates, the name sent).
std::string THTTPSend::ConnectionKey(bool tls) const
{
    std::vector<std::string> parts{tls ? "https" : "http",
                                   TargetHost,
                                   TargetPort,
                                   Sock.HTTPTunnelIP,
                                   Sock.HTTPTunnelPort,
                                   Sock.HTTPTunnelUser,
                                   Sock.HTTPTunnelPass,
                                   Sock.SocksIP,
                                   Sock.SocksPort,
                                   Sock.SocksUsername,
                                   Sock.SocksPassword,
                                   std::to_string(Sock.SocksType),
                                   std::to_string(Sock.SocksResolver)};
    if (tls) {
        const TCustomSSL& settings = *Sock.Tls;
        parts.insert(parts.end(), {std::to_string(settings.VerifyCert), settings.CertCAFile(), settings.CertCA,
                                   settings.TrustCertificate, settings.TrustCertificateFile, settings.CertificateFile,
                                   settings.PrivateKeyFile, settings.SNIHost.empty() ? TargetHost : settings.SNIHost,
                                   std::to_string(settings.SSLType), settings.Ciphers});
    }
    return Join(parts, std::string_view("\0", 1));
}

bool THTTPSend::OpenConnection(bool tlsWanted)
{
    const std::string key = ConnectionKey(tlsWanted);
    Sock.CloseConnection();
    Sock.BindTo(IPInterface, "0");
    if (Sock.ErrorNumber != 0) {
        return false;
    }
    Sock.ConnectTo(TargetHost, TargetPort);
    if (Sock.ErrorNumber != 0) {
        NoteProxyFailure();
        return false;
    }
    if (tlsWanted) {
        Sock.Tls->WaitTimeout = Timeout;
        // Without a name of the caller's the server is named as the address names it.
        const bool ownName = Sock.Tls->SNIHost.empty();
        if (ownName) {
            Sock.Tls->SNIHost = TargetHost;
        }
        Sock.StartTls();
        if (ownName) {
            Sock.Tls->SNIHost.clear();
        }
        if (Sock.ErrorNumber != 0) {
            return false;
        }
    }
    FConnectedHost = TargetHost;
    FConnectedPort = TargetPort;
    FConnectionKey = key;
    return true;
}

std::string THTTPSend::HeaderBlockText() const
{
    if (Protocol == "0.9") {
        return Headers.front() + "\r\n";
    }
    std::string text;
    for (const std::string& line : Headers) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool THTTPSend::SendRequest(bool sending, bool expecting, std::string& pendingStatus,
                            std::vector<std::string>& answerHead)
{
    Document.SetPosition(0);
    const std::string_view body = Document.View();
    if (expecting) {
        Sock.SendText(HeaderBlockText());
        if (Sock.ErrorNumber != 0) {
            return false;
        }
        pendingStatus = ReadNonEmptyLine(true);
        ParseStatusLine(pendingStatus);
        ReadHeadLines(answerHead);
        if (FResultCode >= 100 && FResultCode < 200) {
            pendingStatus.clear();
            answerHead.clear();
            FUploadSize = static_cast<std::int32_t>(body.size());
            Sock.SendBytes(body.data(), static_cast<int>(body.size()));
        }
    } else if (sending && static_cast<std::int64_t>(body.size()) < SeparateBodySize) {
        const std::string text = HeaderBlockText() + std::string(body);
        FUploadSize = static_cast<std::int32_t>(text.size());
        Sock.SendText(text);
    } else if (sending) {
        Sock.SendText(HeaderBlockText());
        FUploadSize = static_cast<std::int32_t>(body.size());
        if (Sock.ErrorNumber == 0) {
            Sock.SendBytes(body.data(), static_cast<int>(body.size()));
        }
    } else {
        Sock.SendText(HeaderBlockText());
    }
    return Sock.ErrorNumber == 0;
}

// One line of the answer; a line of the head counts against HeadLimit. The socket's MaxLineLength (LineLimit) ends
// a line that grows too long before it is held whole.
std::string THTTPSend::ReadAnswerLine(bool head)
{
    std::string line = Sock.ReadLine(Timeout);
    if (Sock.ErrorNumber == WSAENOBUFS) {
        FailAtLimit(hfLineLimit, "the server sent a line longer than " + SizeText(LineLimit));
        return {};
    }
    FHeadBytes += head ? line.size() + 2 : 0;
    if (FHeadBytes > HeadLimit) {
        FailAtLimit(hfHeadLimit, "the server's headers exceed " + SizeText(HeadLimit));
        return {};
    }
    return line;
}

std::string THTTPSend::ReadNonEmptyLine(bool head)
{
    std::string line;
    do {
        line = ReadAnswerLine(head);
    } while (line.empty() && Sock.ErrorNumber == 0);
    return line;
}

void THTTPSend::ReadHeadLines(std::vector<std::string>& lines)
{
    for (;;) {
        std::string line = ReadAnswerLine(true);
        if (Sock.ErrorNumber != 0) {
            return;
        }
        const bool last = line.empty();
        lines.push_back(std::move(line));
        if (last) {
            return;
        }
    }
}

void THTTPSend::ReadStatus(const std::string& pendingStatus)
{
    if (!pendingStatus.empty()) {
        Headers.push_back(pendingStatus);
        return;
    }
    do {
        const std::string line = ReadNonEmptyLine(true);
        if (UpperCase(line).starts_with("HTTP/")) {
            Headers.push_back(line);
            ParseStatusLine(line);
        } else {
            WriteStreamText(Document, line + "\r\n");
            FResultCode = 0;
        }
    } while (Sock.ErrorNumber == 0 && FResultCode == 100);
}

// Reads the header lines after the status line (or takes those already read while waiting for an interim answer),
// unfolds them into Headers and returns the announced body length, -1 when there is none.
std::int64_t THTTPSend::ReadHead(bool& closing, std::vector<std::string> lines)
{
    if (lines.empty()) {
        ReadHeadLines(lines);
    }
    std::int64_t length = -1;
    for (int index = 0; index < static_cast<int>(lines.size());) {
        const std::string line = UnfoldHeaderLine(lines, index);
        Headers.push_back(line);
        if (const auto value = HeaderLineValue(line, "Content-Length")) {
            // A negative length is no length: the body then runs until the server closes.
            length = std::max<std::int64_t>(NumberOr(*value, 10, -1), -1);
            if (length != -1 && FBodyMode == bmUntilClose) {
                FBodyMode = bmLength;
            }
        } else if (const auto type = HeaderLineValue(line, "Content-Type")) {
            MimeType = *type;
        } else if (const auto coding = HeaderLineValue(line, "Transfer-Encoding");
                   coding && UpperCase(*coding).find("CHUNKED") != std::string::npos) {
            FBodyMode = bmChunked;
        } else if (const auto connection = HeaderLineValue(line, FPlainProxy ? "Proxy-Connection" : "Connection");
                   connection && UpperCase(*connection).find("CLOSE") != std::string::npos) {
            closing = true;
        }
    }
    return length;
}

void THTTPSend::ParseStatusLine(const std::string& line)
{
    const std::string rest = Trim(TextAfter(line, " "));
    const std::int64_t code = NumberOr(Trim(TextBefore(rest, " ")), 10, 0);
    FResultCode = (code >= std::numeric_limits<std::int32_t>::min() && code <= std::numeric_limits<std::int32_t>::max())
                      ? static_cast<std::int32_t>(code)
                      : 0;
    const std::string reason = Trim(TextAfter(rest, " "));
    FResultString = reason == rest ? "" : reason;
}

bool THTTPSend::ReadBody(std::int64_t length)
{
    switch (FBodyMode) {
    case bmLength:
        return BodyFits(length) && ReadBodyOfLength(length);
    case bmChunked:
        return ReadBodyChunked();
    case bmUntilClose:
        break;
    }
    return ReadBodyUntilClose();
}

bool THTTPSend::ReadBodyUntilClose()
{
    for (;;) {
        const std::string piece = Sock.ReadAvailable(Timeout);
        if (Sock.ErrorNumber != 0 || !BodyFits(Document.Size() + static_cast<std::int64_t>(piece.size()))) {
            break;
        }
        WriteStreamText(Document, piece);
    }
    // Only the peer's orderly end completes such a body. After a cut (a reset, or TLS without close_notify) nobody
    // can tell how much is missing, so nothing of it is kept.
    if (Sock.ErrorNumber == WSAECONNRESET && Sock.OrderlyEnd) {
        Sock.ClearError();
        return true;
    }
    if (Sock.ErrorNumber == WSAECONNRESET) {
        Document.Clear();
    }
    return false;
}

bool THTTPSend::ReadBodyOfLength(std::int64_t length)
{
    if (length < 1) {
        return true;
    }
    FDownloadSize = static_cast<std::int32_t>(std::min<std::int64_t>(length, std::numeric_limits<std::int32_t>::max()));
    Sock.ReadStreamOfLength(Document, Timeout, length);
    Document.SetPosition(Document.Size());
    return Sock.ErrorNumber == 0;
}

bool THTTPSend::ReadBodyChunked()
{
    for (;;) {
        const std::string line = ReadNonEmptyLine(false);
        if (Sock.ErrorNumber != 0) {
            break;
        }
        const std::string sizeText = Trim(TextBefore(Trim(TextBefore(line, " ")), ";"));
        const std::int64_t size = NumberOr(sizeText, 16, 0);
        if (size <= 0 || !BodyFits(Document.Size() + size) || !ReadBodyOfLength(size)) {
            break;
        }
    }
    return Sock.ErrorNumber == 0;
}

// False, with the request failed, when a body of this size is more than MaxBodySize.
bool THTTPSend::BodyFits(std::int64_t size)
{
    if (MaxBodySize <= 0 || size <= MaxBodySize) {
        return true;
    }
    const std::string limit = SizeText(MaxBodySize);
    FailAtLimit(hfBodyLimit, "the answer exceeds the " +
                                 (limit.ends_with(" bytes") ? std::to_string(MaxBodySize) + "-byte" : limit) +
                                 " limit");
    return false;
}

void THTTPSend::CollectCookies()
{
    for (const std::string& line : Headers) {
        if (const auto value = HeaderLineValue(line, "Set-Cookie")) {
            const std::string cookie = Trim(TextBefore(*value, ";"));
            StoreCookie(Trim(TextBefore(cookie, "=")), Trim(TextAfter(cookie, "=")));
        }
    }
}

void THTTPSend::StoreCookie(const std::string& name, const std::string& value)
{
    const std::string key = LowerCase(name);
    const auto same = std::ranges::find_if(
        Cookies, [&key](const std::string& line) { return LowerCase(TextBefore(line, "=")) == key; });
    if (value.empty()) {
        if (same != Cookies.end()) {
            Cookies.erase(same);
        }
    } else if (same != Cookies.end()) {
        *same = name + "=" + value;
    } else {
        Cookies.push_back(name + "=" + value);
    }
}

bool HttpGetLines(const std::string& url, std::vector<std::string>& lines)
{
    THTTPSend http;
    return HttpGetLines(http, url, lines);
}

bool HttpGetLines(THTTPSend& http, const std::string& url, std::vector<std::string>& lines)
{
    if (!http.PerformRequest("GET", url)) {
        return false;
    }
    std::string_view text = http.Document.View();
    text = text.substr(0, text.find('\0'));
    lines.clear();
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        text.remove_prefix(end + (crlf ? 2 : 1));
    }
    return true;
}

} // namespace quorlane::net

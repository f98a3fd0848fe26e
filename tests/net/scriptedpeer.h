#pragma once

#include "serverprocess.h"
#include "tempdir.h"

#include <memory>
#include <string>
#include <vector>

// The scripted HTTP peer (tools/testservers/scripted_http.py) on a free loopback port: it answers every request
// with the given bytes exactly as they stand and keeps each request it received.
struct TPeerOptions
{
    bool KeepOpen = false; // answer further requests on the same connection
    bool Silent = false;   // accept and read, never answer
    int Piece = 0;         // send the answer in pieces of this many bytes
    std::string Endless{}; // after the answer, send this again and again until the client leaves
    // With both set the peer speaks TLS, and TlsEnd says how its connection ends: "close-notify", "cut" (TCP closes
    // without close_notify) or "half-record" (TCP closes half-way through the last record).
    std::string CertificateFile{};
    std::string KeyFile{};
    std::string TlsEnd = "close-notify";
};

class TScriptedPeer
{
public:
    explicit TScriptedPeer(const std::string& answer, TPeerOptions options = {});
    ~TScriptedPeer();
    TScriptedPeer(const TScriptedPeer&) = delete;
    TScriptedPeer& operator=(const TScriptedPeer&) = delete;

    int Port() const { return FPort; }
    // "http://127.0.0.1:<port>" (https:// for a TLS peer) followed by path.
    std::string Url(const std::string& path = "/") const;
    // The requests received, in order: by connection, then by their order on it.
    std::vector<std::string> Requests() const;
    // The number of connections on which at least one request arrived.
    int ConnectionCount() const;

private:
    quorlane::testsupport::TTempDir FDir;
    int FPort = 0;
    bool FTls = false;
    std::unique_ptr<quorlane::testsupport::TServerProcess> FProcess;
};

// The lines of a request head (without the body), each without its CR LF, the empty last line included.
std::vector<std::string> HeadLines(const std::string& request);

#include "scriptedpeer.h"

#include "freeport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

TScriptedPeer::TScriptedPeer(const std::string& answer, TPeerOptions options)
{
    fs::create_directory(FDir.File("log"));
    FDir.Write("answer", answer);
    FPort = FreeLoopbackPort();
    std::vector<std::string> arguments{"/usr/bin/python3",
                                       std::string(QUORLANE_SOURCE_DIR) + "/tools/testservers/scripted_http.py",
                                       "--port",
                                       std::to_string(FPort),
                                       "--answer",
                                       FDir.File("answer"),
                                       "--log",
                                       FDir.File("log"),
                                       "--piece",
                                       std::to_string(options.Piece)};
    if (options.KeepOpen) {
        arguments.emplace_back("--keep-open");
    }
    if (options.Silent) {
        arguments.emplace_back("--silent");
    }
    if (!options.Endless.empty()) {
        arguments.insert(arguments.end(), {"--endless", options.Endless});
    }
    FTls = !options.CertificateFile.empty();
    if (FTls) {
        arguments.insert(arguments.end(),
                         {"--cert", options.CertificateFile, "--key", options.KeyFile, "--tls-end", options.TlsEnd});
    }
    FProcess = std::make_unique<TServerProcess>(arguments, FDir.File("peer.log"));
    EXPECT_TRUE(WaitForPort(FPort)) << "scripted peer did not start: " << ReadWholeFile(FDir.File("peer.log"));
}

TScriptedPeer::~TScriptedPeer() = default;

std::string TScriptedPeer::Url(const std::string& path) const
{
    return (FTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(FPort) + path;
}

std::vector<std::string> TScriptedPeer::Requests() const
{
    std::vector<std::pair<std::pair<int, int>, fs::path>> files;
    for (const auto& entry : fs::directory_iterator(FDir.File("log"))) {
        int connection = 0;
        int number = 0;
        if (std::sscanf(entry.path().filename().c_str(), "%d-%d.txt", &connection, &number) == 2 &&
            entry.path().extension() == ".txt") {
            files.push_back({{connection, number}, entry.path()});
        }
    }
    std::ranges::sort(files);
    std::vector<std::string> requests;
    for (const auto& [order, path] : files) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        requests.push_back(text.str());
    }
    return requests;
}

int TScriptedPeer::ConnectionCount() const
{
    std::set<int> connections;
    for (const auto& entry : fs::directory_iterator(FDir.File("log"))) {
        int connection = 0;
        int number = 0;
        if (std::sscanf(entry.path().filename().c_str(), "%d-%d.txt", &connection, &number) == 2) {
            connections.insert(connection);
        }
    }
    return static_cast<int>(connections.size());
}

std::vector<std::string> HeadLines(const std::string& request)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = request.find("\r\n", start);
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(request.substr(start, end - start));
        start = end + 2;
        if (lines.back().empty()) {
            break;
        }
    }
    return lines;
}

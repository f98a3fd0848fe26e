// Downloads 16 MiB and 256 MiB images from a local nginx over HTTP and HTTPS with three clients and prints the
// throughput and peak resident memory of each: THTTPSend (body in memory), a libcurl client that also keeps the
// body in memory, and the curl command writing to /dev/null. Every download runs in a process of its own, so
// that its peak memory is its own (taken from wait4's resource usage).

#include "httpsend.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace quorlane::net;

namespace {

// Rounds per case; the three clients take turns in each round, so that a change in the machine's load falls on
// all of them, and each keeps its best time.
constexpr int Rounds = 5;

struct TImage
{
    std::string Name;
    std::int64_t Size;
};

struct TResult
{
    double Seconds = 1e9;
    long PeakKiB = 0;
    bool Ok = true;
};

int FetchWithHttpSend(const std::string& url, std::int64_t expected)
{
    THTTPSend http;
    http.Sock.Tls->VerifyCert = true;
    const bool ok = http.PerformRequest("GET", url);
    return ok && http.ResultCode() == 200 && http.Document.Size() == expected ? 0 : 1;
}

struct TCurlBody
{
    CURL* Curl = nullptr;
    std::vector<char> Data;
};

// Reserves the announced length once; without one the vector's own geometric growth applies.
size_t CurlWrite(char* data, size_t size, size_t count, void* user)
{
    auto* body = static_cast<TCurlBody*>(user);
    if (body->Data.empty()) {
        curl_off_t length = -1;
        if (curl_easy_getinfo(body->Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0) {
            body->Data.reserve(static_cast<size_t>(length));
        }
    }
    body->Data.insert(body->Data.end(), data, data + size * count);
    return size * count;
}

int FetchWithLibcurl(const std::string& url, const std::string& caFile, std::int64_t expected)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    TCurlBody body;
    body.Curl = curl_easy_init();
    curl_easy_setopt(body.Curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(body.Curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(body.Curl, CURLOPT_WRITEFUNCTION, CurlWrite);
    curl_easy_setopt(body.Curl, CURLOPT_WRITEDATA, &body);
    const CURLcode code = curl_easy_perform(body.Curl);
    long status = 0;
    curl_easy_getinfo(body.Curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(body.Curl);
    return code == CURLE_OK && status == 200 && static_cast<std::int64_t>(body.Data.size()) == expected ? 0 : 1;
}

// Runs argv to its end; returns its wall time, peak resident memory and whether it exited with 0.
TResult RunChild(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), usage.ru_maxrss, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

int FreePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(s, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

bool WaitForPort(int port)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool up = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        close(s);
        if (up) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

pid_t StartCatalogue(const fs::path& data, const fs::path& run, int port, bool tls)
{
    const std::string serve = std::string(QUORLANE_SOURCE_DIR) + "/tools/catalogue/serve";
    std::vector<std::string> arguments{serve, "--data", data, "--run", run, "--port", std::to_string(port)};
    if (tls) {
        arguments.emplace_back("--make-cert");
    }
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void WriteImage(const fs::path& file, std::int64_t size)
{
    std::mt19937_64 random(static_cast<std::uint64_t>(size));
    std::vector<std::uint64_t> block(8192);
    std::ofstream out(file, std::ios::binary);
    for (std::int64_t written = 0; written < size; written += sizeof(std::uint64_t) * block.size()) {
        std::ranges::generate(block, random);
        out.write(reinterpret_cast<const char*>(block.data()), sizeof(std::uint64_t) * block.size());
    }
}

void KeepBest(TResult& best, const TResult& result)
{
    best.Seconds = std::min(best.Seconds, result.Seconds);
    best.PeakKiB = std::max(best.PeakKiB, result.PeakKiB);
    best.Ok = best.Ok && result.Ok;
}

int RunBenchmark(const char* self)
{
    const fs::path work = fs::temp_directory_path() / ("quorlane-http-bench-" + std::to_string(getpid()));
    const std::vector<TImage> images{{"img16", std::int64_t{16} << 20}, {"img256", std::int64_t{256} << 20}};
    fs::create_directories(work / "data" / "images");
    for (const TImage& image : images) {
        WriteImage(work / "data" / "images" / image.Name, image.Size);
    }

    const int httpPort = FreePort();
    const int httpsPort = FreePort();
    const pid_t plain = StartCatalogue(work / "data", work / "run-http", httpPort, false);
    const pid_t secure = StartCatalogue(work / "data", work / "run-https", httpsPort, true);
    const std::string caFile = (work / "run-https" / "ca.pem").string();
    if (!WaitForPort(httpPort) || !WaitForPort(httpsPort)) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    setenv("SSL_CERT_FILE", caFile.c_str(), 1);

    std::printf("%-6s %-8s %-14s %10s %12s %10s %10s\n", "scheme", "image", "client", "MiB/s", "peak MiB", "vs libcurl",
                "vs curl");
    bool targetMet = true;
    for (const std::string scheme : {"http", "https"}) {
        const int port = scheme == "http" ? httpPort : httpsPort;
        for (const TImage& image : images) {
            const std::string url =
                scheme + "://localhost:" + std::to_string(port) + "/api/firmware_download/?file=" + image.Name;
            const std::string size = std::to_string(image.Size);
            TResult ours;
            TResult library;
            TResult command;
            for (int round = 0; round < Rounds; ++round) {
                KeepBest(ours, RunChild({self, "--fetch-httpsend", url, size}));
                KeepBest(library, RunChild({self, "--fetch-libcurl", url, caFile, size}));
                KeepBest(command, RunChild({"curl", "-sf", "--cacert", caFile, "-o", "/dev/null", url}));
            }
            const double mib = static_cast<double>(image.Size) / (1 << 20);
            const auto row = [&](const char* client, const TResult& result) {
                std::printf("%-6s %-8s %-14s %10.1f %12.1f %10.2f %10.2f%s\n", scheme.c_str(), image.Name.c_str(),
                            client, mib / result.Seconds, result.PeakKiB / 1024.0, library.Seconds / result.Seconds,
                            command.Seconds / result.Seconds, result.Ok ? "" : "  FAILED");
            };
            row("THTTPSend", ours);
            row("libcurl-mem", library);
            row("curl-cmd", command);
            const bool fastEnough = library.Seconds / ours.Seconds >= 0.8;
            const bool smallEnough = ours.PeakKiB / 1024.0 <= 1.5 * mib + 32;
            targetMet = targetMet && ours.Ok && fastEnough && smallEnough;
        }
    }
    std::printf("target (THTTPSend >= 0.8 x libcurl throughput, peak <= 1.5 x image + 32 MiB): %s\n",
                targetMet ? "met" : "NOT met");

    kill(plain, SIGTERM);
    kill(secure, SIGTERM);
    waitpid(plain, nullptr, 0);
    waitpid(secure, nullptr, 0);
    fs::remove_all(work);
    return targetMet ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    if (argc == 4 && arguments[1] == "--fetch-httpsend") {
        return FetchWithHttpSend(arguments[2], std::stoll(arguments[3]));
    }
    if (argc == 5 && arguments[1] == "--fetch-libcurl") {
        return FetchWithLibcurl(arguments[2], arguments[3], std::stoll(arguments[4]));
    }
    return RunBenchmark(argv[0]);
}

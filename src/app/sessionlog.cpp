#include "sessionlog.h"

#include "filelocations.h"
#include "programversion.h"
#include "writeall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace {

// How long an entry waits in the batch at most, and the batch size that is written at once.
constexpr std::chrono::milliseconds FlushInterval{250};
constexpr std::size_t BatchLimit = 64 * 1024;
constexpr std::size_t KindWidth = 8;
// What a log file's name looks like before its optional "_NN" and ".log"; '0' stands for a digit.
constexpr std::string_view NamePattern = "0000-00-00_00-00-00";
constexpr std::string_view NameEnd = ".log";

std::atomic<TSessionLog*> Current{nullptr};

std::string& Absence()
{
    static std::string absence;
    return absence;
}

std::string SystemError(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

std::string LocalTime(std::time_t seconds, const char* format)
{
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &local));
}

// "2025-05-04 13:04:05.123": always 23 characters.
std::string StampNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char milliseconds[24];
    std::snprintf(milliseconds, sizeof milliseconds, ".%03ld", now.tv_nsec / 1000000);
    return LocalTime(now.tv_sec, "%Y-%m-%d %H:%M:%S") + milliseconds;
}

// Every missing directory on the way is made for the user alone; the log's own directory must not be writable by
// anyone else, who could otherwise replace or read the logs.
void MakePrivateDirectory(const fs::path& directory)
{
    fs::path partial;
    for (const fs::path& part : directory) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            throw std::runtime_error(SystemError("cannot create " + partial.string(), errno));
        }
    }
    struct stat info
    {
    };
    if (::stat(directory.c_str(), &info) != 0) {
        throw std::runtime_error(SystemError("cannot use " + directory.string(), errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        throw std::runtime_error(directory.string() + " is not a directory");
    }
    if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw std::runtime_error(directory.string() + " may be written by other users");
    }
}

bool IsLogName(std::string_view name)
{
    if (name.size() < NamePattern.size() + NameEnd.size() || !name.ends_with(NameEnd)) {
        return false;
    }
    for (std::size_t at = 0; at < NamePattern.size(); ++at) {
        const bool digit = name[at] >= '0' && name[at] <= '9';
        if (NamePattern[at] == '0' ? !digit : name[at] != NamePattern[at]) {
            return false;
        }
    }
    return true;
}

// A new file named by the start time; the second instance started within a second gets "_02", and so on.
int CreateLogFile(const fs::path& directory, std::string& path)
{
    const std::string start = LocalTime(std::time(nullptr), "%Y-%m-%d_%H-%M-%S");
    for (int instance = 1; instance < 100; ++instance) {
        char suffix[8] = "";
        if (instance > 1) {
            std::snprintf(suffix, sizeof suffix, "_%02d", instance);
        }
        path = (directory / (start + suffix + std::string(NameEnd))).string();
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (file >= 0) {
            return file;
        }
        if (errno != EEXIST) {
            throw std::runtime_error(SystemError("cannot create " + path, errno));
        }
    }
    throw std::runtime_error("no free name for a log in " + directory.string());
}

// The names sort by start time, so the oldest come first.
void RemoveOldLogs(const fs::path& directory, std::size_t kept)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (IsLogName(name) && entry.is_regular_file(error)) {
            names.push_back(name);
        }
    }
    std::ranges::sort(names);
    for (std::size_t index = 0; index + kept < names.size(); ++index) {
        fs::remove(directory / names[index], error);
    }
}

std::string SizeText(std::size_t bytes)
{
    return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

} // namespace

TSessionLog::TSessionLog(const std::string& directory, const TSessionLogLimits& limits)
    : FMaxFileSize(limits.MaxFileSize), FClosing(" log      The log stopped at its limit of " +
                                                 SizeText(limits.MaxFileSize) + "; nothing more is written.\n")
{
    MakePrivateDirectory(directory);
    FFile = CreateLogFile(directory, FPath);
    RemoveOldLogs(directory, limits.KeptFiles);
    const TProgramVersion version = GetProgramVersion();
    Add("log", "Quorlane " + std::to_string(version.Major) + "." + std::to_string(version.Minor) + "." +
                   std::to_string(version.Release) + " started (process " + std::to_string(::getpid()) +
                   "); times are local, UTC" + LocalTime(std::time(nullptr), "%z"));
    FWriter = std::thread([this] { WriteBatches(); });
    Current.store(this);
}

TSessionLog::~TSessionLog()
{
    TSessionLog* self = this;
    Current.compare_exchange_strong(self, nullptr);
    // A log without this line tells of a run that did not end by itself.
    Add("log", "Quorlane ended");
    {
        const std::lock_guard lock(FBatchLock);
        FStopping = true;
    }
    FWake.notify_one();
    FWriter.join();
    Flush();
    ::close(FFile);
}

void TSessionLog::Add(std::string_view kind, std::string_view text)
{
    const std::string stamp = StampNow();
    const std::lock_guard lock(FBatchLock);
    const std::size_t before = FBatch.size();
    do {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        AddLine(stamp, kind, line);
        text.remove_prefix(std::min(end + 1, text.size()));
    } while (!text.empty());
    // The writer is woken only when its wait begins or ends: for every entry it would cost a switch of threads.
    if ((before == 0 && !FBatch.empty()) || (before < BatchLimit && FBatch.size() >= BatchLimit)) {
        FWake.notify_one();
    }
}

// Called with FBatchLock held. The closing line has room below the limit: every line is as long as it always is.
void TSessionLog::AddLine(std::string_view stamp, std::string_view kind, std::string_view line)
{
    if (FFull || FBroken) {
        return;
    }
    const std::size_t size = stamp.size() + 1 + std::max(kind.size(), KindWidth) + 1 + line.size() + 1;
    const std::size_t closing = stamp.size() + FClosing.size();
    if (FTaken + size + closing > FMaxFileSize) {
        FBatch.append(stamp).append(FClosing);
        FTaken += closing;
        FFull = true;
        return;
    }
    FBatch.append(stamp).append(1, ' ').append(kind);
    FBatch.append(KindWidth - std::min(kind.size(), KindWidth) + 1, ' ').append(line).append(1, '\n');
    FTaken += size;
}

// The writer thread: a batch waits until it is FlushInterval old or BatchLimit large.
void TSessionLog::WriteBatches()
{
    std::unique_lock lock(FBatchLock);
    while (!FStopping) {
        FWake.wait(lock, [this] { return FStopping || !FBatch.empty(); });
        FWake.wait_for(lock, FlushInterval, [this] { return FStopping || FBatch.size() >= BatchLimit; });
        lock.unlock();
        Flush();
        lock.lock();
    }
}

void TSessionLog::Flush()
{
    const std::lock_guard write(FWriteLock);
    WriteBatch();
}

// Called with FWriteLock held.
void TSessionLog::WriteBatch()
{
    std::string batch;
    {
        const std::lock_guard lock(FBatchLock);
        batch.swap(FBatch);
    }
    if (batch.empty() || WriteAll(FFile, batch)) {
        return;
    }
    const int error = errno;
    const std::lock_guard lock(FBatchLock);
    if (!FBroken) {
        FBroken = true;
        std::cerr << "Quorlane: the session log stopped: " << SystemError("cannot write " + FPath, error) << '\n';
    }
}

void TSessionLog::SaveCopy(const std::string& path)
{
    const std::lock_guard write(FWriteLock);
    WriteBatch();
    const std::string failed = "The log could not be saved to " + path + ": ";
    std::error_code error;
    if (fs::equivalent(FPath, path, error)) {
        throw std::runtime_error(failed + "that file is the log itself");
    }
    fs::copy_file(FPath, path, fs::copy_options::overwrite_existing, error);
    if (error) {
        throw std::runtime_error(failed + error.message());
    }
}

TSessionLog* CurrentSessionLog()
{
    return Current.load();
}

void LogEntry(std::string_view kind, std::string_view text)
{
    if (TSessionLog* log = Current.load()) {
        log->Add(kind, text);
    }
}

std::unique_ptr<TSessionLog> StartSessionLog()
{
    try {
        auto log = std::make_unique<TSessionLog>(SessionLogDirectory());
        Absence().clear();
        return log;
    } catch (const std::exception& failure) {
        Absence() = failure.what();
        std::cerr << "Quorlane: no session log: " << failure.what() << '\n';
        return nullptr;
    }
}

std::string SessionLogAbsence()
{
    return Absence();
}

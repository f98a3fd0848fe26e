#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// What a session log may grow to and how many of them are kept.
struct TSessionLogLimits
{
    std::size_t MaxFileSize = 16 << 20;
    std::size_t KeptFiles = 20;
};

// One run's log file, for bug reports: one line per entry, "2025-05-04 13:04:05.123 console  text", the time local.
// Entries are batched in memory and written by a thread of the log's own, a few times a second and whenever the
// batch grows large, so that whoever adds an entry never waits for the disk. The file stops at its size limit with
// a line that says so. The newest log is the program's current one, which the window's entries go to.
class TSessionLog
{
public:
    // Starts a new file in directory, made only for the user when missing, named by the start time (an instance
    // started in the same second gets a name of its own), readable only by the user; then removes the oldest logs
    // so that limits.KeptFiles remain. Throws std::runtime_error saying why no log can be written there.
    explicit TSessionLog(const std::string& directory, const TSessionLogLimits& limits = {});
    // Notes the end, writes what is batched and closes the file.
    ~TSessionLog();
    TSessionLog(const TSessionLog&) = delete;
    TSessionLog& operator=(const TSessionLog&) = delete;

    const std::string& Path() const { return FPath; }

    // Adds an entry of the given kind (a word of up to eight letters); each line of text becomes a line of its own.
    void Add(std::string_view kind, std::string_view text);
    // Writes everything added so far.
    void Flush();
    // Writes everything added so far and copies the log to path. Throws std::runtime_error saying why it could not.
    void SaveCopy(const std::string& path);

private:
    void AddLine(std::string_view stamp, std::string_view kind, std::string_view line);
    void WriteBatches();
    void WriteBatch();

    std::string FPath;
    int FFile = -1;
    std::size_t FMaxFileSize;
    // The line that ends a full log, after its time stamp.
    std::string FClosing;
    // Bytes taken into batches so far, and whether the closing line has been taken (nothing is taken after it).
    std::size_t FTaken = 0;
    bool FFull = false;
    // Set once a write failed: nothing more is written.
    bool FBroken = false;
    std::string FBatch;
    bool FStopping = false;
    // FBatchLock guards the batch and the fields above; FWriteLock keeps the batches in their order in the file.
    std::mutex FBatchLock;
    std::mutex FWriteLock;
    std::condition_variable FWake;
    std::thread FWriter;
};

// The log that the window's entries go to, or none. A log becomes current when it is made and stops being so when
// it is destroyed.
TSessionLog* CurrentSessionLog();

// Adds an entry to the current log; without one, nothing happens.
void LogEntry(std::string_view kind, std::string_view text);

// The program's log for this run in the user's state directory (SessionLogDirectory). When it cannot be written the
// program runs without one: standard error says why, once, and so does SessionLogAbsence.
std::unique_ptr<TSessionLog> StartSessionLog();

// Why the program writes no log, for the user who asks for it; empty while a log is written.
std::string SessionLogAbsence();

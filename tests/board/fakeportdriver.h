#pragma once

#include "portdriver.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// A port driver that records every call and plays back what a test queues: open results, wake-ups,
// received bytes, error words and modem lines. Shared state is guarded, as the wait thread uses it too.
class TFakePortDriver : public IPortDriver
{
public:
    // Calls that are made to fail, by name as they appear in the log ("Escape", "Purge", ...).
    void FailCall(const std::string& name);
    void SetOpenResult(EOpenResult result);
    void QueueWait(EWaitResult result, std::uint32_t events = 0);
    void QueueInput(const std::string& bytes);
    void SetErrorWord(std::uint32_t word);
    void SetModemStatus(std::uint32_t status);
    // Write accepts at most this many bytes (the time-out expires for the rest).
    void SetWriteLimit(std::size_t limit);
    void SetWriteFailsAfterStart();

    std::vector<std::string> Log();
    void ClearLog();
    std::string Written();
    int WaitCalls();
    TPortLineSettings LastLineSettings();
    TPortTimeouts LastTimeouts();

    EOpenResult Open(const std::string& name) override;
    bool IsOpen() const override;
    void Close() override;
    bool SetupQueues(int inSize, int outSize) override;
    bool SetLineSettings(const TPortLineSettings& settings) override;
    bool SetTimeouts(const TPortTimeouts& timeouts) override;
    bool SetEventMask(std::uint32_t mask) override;
    EWaitResult WaitEvent(const TStopSignal& stop, std::uint32_t& events) override;
    TTransfer Write(const char* data, std::size_t count) override;
    TTransfer Read(char* data, std::size_t count) override;
    bool ClearError(std::uint32_t& errors, std::uint32_t& inQueue) override;
    bool ModemStatus(std::uint32_t& status) override;
    bool Escape(EEscape function) override;
    bool Purge(std::uint32_t flags) override;

private:
    bool Record(const std::string& name, const std::string& entry);

    mutable std::mutex FMutex;
    std::condition_variable FQueued;
    std::set<std::string> FFailing;
    EOpenResult FOpenResult = EOpenResult::Opened;
    bool FOpen = false;
    std::deque<std::pair<EWaitResult, std::uint32_t>> FWaits;
    std::string FInput;
    std::string FWritten;
    std::uint32_t FErrorWord = 0;
    std::uint32_t FModemStatus = 0;
    std::size_t FWriteLimit = SIZE_MAX;
    bool FWriteFailsAfterStart = false;
    int FWaitCalls = 0;
    std::vector<std::string> FLog;
    TPortLineSettings FLineSettings;
    TPortTimeouts FTimeouts;
};

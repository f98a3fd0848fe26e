#include "fakeportdriver.h"

#include "stopsignal.h"

#include <chrono>

void TFakePortDriver::FailCall(const std::string& name)
{
    std::lock_guard lock(FMutex);
    FFailing.insert(name);
}

void TFakePortDriver::SetOpenResult(EOpenResult result)
{
    std::lock_guard lock(FMutex);
    FOpenResult = result;
}

void TFakePortDriver::QueueWait(EWaitResult result, std::uint32_t events)
{
    {
        std::lock_guard lock(FMutex);
        FWaits.emplace_back(result, events);
    }
    FQueued.notify_all();
}

void TFakePortDriver::QueueInput(const std::string& bytes)
{
    std::lock_guard lock(FMutex);
    FInput += bytes;
}

void TFakePortDriver::SetErrorWord(std::uint32_t word)
{
    std::lock_guard lock(FMutex);
    FErrorWord = word;
}

void TFakePortDriver::SetModemStatus(std::uint32_t status)
{
    std::lock_guard lock(FMutex);
    FModemStatus = status;
}

void TFakePortDriver::SetWriteLimit(std::size_t limit)
{
    std::lock_guard lock(FMutex);
    FWriteLimit = limit;
}

void TFakePortDriver::SetWriteFailsAfterStart()
{
    std::lock_guard lock(FMutex);
    FWriteFailsAfterStart = true;
}

std::vector<std::string> TFakePortDriver::Log()
{
    std::lock_guard lock(FMutex);
    return FLog;
}

void TFakePortDriver::ClearLog()
{
    std::lock_guard lock(FMutex);
    FLog.clear();
}

std::string TFakePortDriver::Written()
{
    std::lock_guard lock(FMutex);
    return FWritten;
}

int TFakePortDriver::WaitCalls()
{
    std::lock_guard lock(FMutex);
    return FWaitCalls;
}

TPortLineSettings TFakePortDriver::LastLineSettings()
{
    std::lock_guard lock(FMutex);
    return FLineSettings;
}

TPortTimeouts TFakePortDriver::LastTimeouts()
{
    std::lock_guard lock(FMutex);
    return FTimeouts;
}

// Logs the call; false when the test made it fail or the port is not open (as a system call on a closed
// handle fails).
bool TFakePortDriver::Record(const std::string& name, const std::string& entry)
{
    FLog.push_back(entry);
    return FOpen && !FFailing.contains(name);
}

EOpenResult TFakePortDriver::Open(const std::string& name)
{
    std::lock_guard lock(FMutex);
    FLog.push_back("Open " + name);
    FOpen = FOpenResult == EOpenResult::Opened;
    return FOpenResult;
}

bool TFakePortDriver::IsOpen() const
{
    std::lock_guard lock(FMutex);
    return FOpen;
}

void TFakePortDriver::Close()
{
    std::lock_guard lock(FMutex);
    FLog.push_back("Close");
    FOpen = false;
}

bool TFakePortDriver::SetupQueues(int inSize, int outSize)
{
    std::lock_guard lock(FMutex);
    return Record("SetupQueues", "SetupQueues " + std::to_string(inSize) + " " + std::to_string(outSize));
}

bool TFakePortDriver::SetLineSettings(const TPortLineSettings& settings)
{
    std::lock_guard lock(FMutex);
    FLineSettings = settings;
    return Record("SetLineSettings", "SetLineSettings " + std::to_string(settings.BaudRate));
}

bool TFakePortDriver::SetTimeouts(const TPortTimeouts& timeouts)
{
    std::lock_guard lock(FMutex);
    FTimeouts = timeouts;
    return Record("SetTimeouts", "SetTimeouts");
}

bool TFakePortDriver::SetEventMask(std::uint32_t mask)
{
    std::lock_guard lock(FMutex);
    return Record("SetEventMask", "SetEventMask " + std::to_string(mask));
}

EWaitResult TFakePortDriver::WaitEvent(const TStopSignal& stop, std::uint32_t& events)
{
    std::unique_lock lock(FMutex);
    ++FWaitCalls;
    for (;;) {
        if (stop.IsSignalled())
            return EWaitResult::Stopped;
        if (!FWaits.empty()) {
            const auto [result, mask] = FWaits.front();
            FWaits.pop_front();
            events = mask;
            return result;
        }
        FQueued.wait_for(lock, std::chrono::milliseconds(5));
    }
}

TTransfer TFakePortDriver::Write(const char* data, std::size_t count)
{
    std::lock_guard lock(FMutex);
    TTransfer transfer;
    transfer.Started = Record("Write", "Write " + std::to_string(count));
    if (!transfer.Started)
        return transfer;
    transfer.Bytes = std::min(count, FWriteLimit);
    FWritten.append(data, transfer.Bytes);
    transfer.Succeeded = !FWriteFailsAfterStart;
    return transfer;
}

TTransfer TFakePortDriver::Read(char* data, std::size_t count)
{
    std::lock_guard lock(FMutex);
    TTransfer transfer;
    transfer.Started = Record("Read", "Read " + std::to_string(count));
    if (!transfer.Started)
        return transfer;
    transfer.Bytes = std::min(count, FInput.size());
    FInput.copy(data, transfer.Bytes);
    FInput.erase(0, transfer.Bytes);
    transfer.Succeeded = true;
    return transfer;
}

bool TFakePortDriver::ClearError(std::uint32_t& errors, std::uint32_t& inQueue)
{
    std::lock_guard lock(FMutex);
    if (!Record("ClearError", "ClearError"))
        return false;
    errors = FErrorWord;
    FErrorWord = 0;
    inQueue = static_cast<std::uint32_t>(FInput.size());
    return true;
}

bool TFakePortDriver::ModemStatus(std::uint32_t& status)
{
    std::lock_guard lock(FMutex);
    status = FModemStatus;
    return Record("ModemStatus", "ModemStatus");
}

bool TFakePortDriver::Escape(EEscape function)
{
    static const char* const names[] = {"SetDtr", "ClearDtr", "SetRts", "ClearRts"};
    std::lock_guard lock(FMutex);
    return Record("Escape", std::string("Escape ") + names[static_cast<int>(function)]);
}

bool TFakePortDriver::Purge(std::uint32_t flags)
{
    std::lock_guard lock(FMutex);
    return Record("Purge", "Purge " + std::to_string(flags));
}

#pragma once

#include "portdriver.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>

struct termios2;

// The port driver for Linux tty devices (/dev/ttyUSB0, /dev/ttyACM0, pseudo-terminals).
//
// The wait thread moves arriving bytes into the driver's own receive queue (at most the InBufSize asked
// for; the rest waits in the kernel), so that each event wait reports only bytes that are new, exactly as a
// received-characters event should, and then blocks again. Reads take the queue first and then the device.
// A write returns once its bytes have left the device's output queue, or at its time-out with the count of
// those that left; closing keeps queued output unless it could not leave in time.
// Exclusive use: flock(LOCK_EX | LOCK_NB) and TIOCEXCL. A device with no modem lines (a pseudo-terminal)
// accepts the modem-line calls and does nothing. A device that hangs up or fails with EIO counts as gone:
// from then on it delivers no more data and every event wait reports it gone.
class TLinuxPortDriver : public IPortDriver
{
public:
    TLinuxPortDriver();
    ~TLinuxPortDriver() override;
    TLinuxPortDriver(const TLinuxPortDriver&) = delete;
    TLinuxPortDriver& operator=(const TLinuxPortDriver&) = delete;

    EOpenResult Open(const std::string& name) override;
    // Permission denied: the device's group and how to join it. Busy: the program that holds the device.
    std::string OpenAdvice(EOpenResult result, const std::string& name) const override;
    bool IsOpen() const override { return FFd >= 0; }
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

    // The open() failure reasons as the port reports them.
    static EOpenResult OpenResultFromErrno(int error);
    // Raw mode with the given framing and rate; reads on a non-blocking descriptor then end with EAGAIN
    // when nothing is waiting and with 0 only on a hang-up.
    static void FillTermios(const TPortLineSettings& settings, termios2& tio);

private:
    enum class EFill { Read, Nothing, Gone, Failed };
    EFill FillQueue();
    std::size_t TakeAvailable(char* data, std::size_t count, bool& failed);
    bool WaitForData(std::chrono::steady_clock::time_point until);
    std::size_t WaitUntilSent(std::chrono::steady_clock::time_point until) const;
    std::uint32_t NewErrorWord();
    bool ErrorCountersChanged();

    int FFd = -1;
    int FSpaceFd = -1;
    std::mutex FMutex;
    std::deque<char> FQueue;
    std::size_t FInSize = 2048;
    bool FGone = false;
    std::uint32_t FEventMask = 0;
    TPortTimeouts FTimeouts;
    struct TCounters
    {
        int Frame = 0, Parity = 0, Overrun = 0, BufOverrun = 0, Break = 0;
        bool operator==(const TCounters&) const = default;
    };
    bool ReadCounters(TCounters& counters) const;
    TCounters FReportedCounters;
};

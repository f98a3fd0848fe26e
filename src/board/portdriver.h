#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TStopSignal;

// What the serial port needs of the system: one open device, its settings, transfers and one event wait.
// TSerialPort keeps all logic; a driver only performs the calls and reports success.

// Line settings as applied in one call (the device's DTR and RTS are raised when the Enable flags are set).
struct TPortLineSettings
{
    std::uint32_t BaudRate = 9600;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    bool ParityCheck = false;
    bool DtrEnable = true;
    bool RtsEnable = true;
    char XonChar = 17;
    char XoffChar = 19;
};

// Time-outs in milliseconds; NoLimit stands for "all 32 bits set".
struct TPortTimeouts
{
    static constexpr std::uint32_t NoLimit = 0xFFFFFFFFu;
    std::uint32_t ReadInterval = NoLimit;
    std::uint32_t ReadTotalMultiplier = 0;
    std::uint32_t ReadTotalConstant = 0;
    std::uint32_t WriteTotalMultiplier = 100;
    std::uint32_t WriteTotalConstant = 1000;
};

// Event bits of a wake-up, and the error and modem-status words.
namespace PortBits {
constexpr std::uint32_t EvRxChar = 0x0001;
constexpr std::uint32_t EvTxEmpty = 0x0004;
constexpr std::uint32_t EvCts = 0x0008;
constexpr std::uint32_t EvDsr = 0x0010;
constexpr std::uint32_t EvRlsd = 0x0020;
constexpr std::uint32_t EvErr = 0x0080;
constexpr std::uint32_t EvRing = 0x0100;
constexpr std::uint32_t EvRx80Full = 0x0400;

constexpr std::uint32_t CeRxOver = 0x0001;
constexpr std::uint32_t CeOverrun = 0x0002;
constexpr std::uint32_t CeRxParity = 0x0004;
constexpr std::uint32_t CeFrame = 0x0008;
constexpr std::uint32_t CeBreak = 0x0010;
constexpr std::uint32_t CeTxFull = 0x0100;
constexpr std::uint32_t CeIoe = 0x0400;
constexpr std::uint32_t CeMode = 0x8000;

constexpr std::uint32_t MsCtsOn = 0x0010;
constexpr std::uint32_t MsDsrOn = 0x0020;
constexpr std::uint32_t MsRingOn = 0x0040;
constexpr std::uint32_t MsRlsdOn = 0x0080;

constexpr std::uint32_t PurgeTxAbort = 0x0001;
constexpr std::uint32_t PurgeRxAbort = 0x0002;
constexpr std::uint32_t PurgeTxClear = 0x0004;
constexpr std::uint32_t PurgeRxClear = 0x0008;
} // namespace PortBits

enum class EOpenResult { Opened, NotFound, Busy, AccessDenied, OtherFailure };
enum class EEscape { SetDtr, ClearDtr, SetRts, ClearRts };

// Outcome of a wait: events (mask set), the stop signal, a failed wait, or the device gone for good.
enum class EWaitResult { Events, Stopped, Failed, Gone };

// A transfer: Started false when it could not begin, Succeeded false when it failed after beginning.
struct TTransfer
{
    bool Started = false;
    bool Succeeded = false;
    std::size_t Bytes = 0;
};

class IPortDriver
{
public:
    virtual ~IPortDriver() = default;

    virtual EOpenResult Open(const std::string& name) = 0;
    // What the user can do about a failed Open, in this system's terms; empty when there is nothing to add.
    virtual std::string OpenAdvice(EOpenResult /*result*/, const std::string& /*name*/) const { return {}; }
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;

    virtual bool SetupQueues(int inSize, int outSize) = 0;
    virtual bool SetLineSettings(const TPortLineSettings& settings) = 0;
    virtual bool SetTimeouts(const TPortTimeouts& timeouts) = 0;
    virtual bool SetEventMask(std::uint32_t mask) = 0;

    // Called on the wait thread only; returns when an event in the mask arrives or `stop` is signalled.
    virtual EWaitResult WaitEvent(const TStopSignal& stop, std::uint32_t& events) = 0;

    // Returns once the bytes have left the device, or when the write time-out passes; Bytes counts those that left.
    virtual TTransfer Write(const char* data, std::size_t count) = 0;
    virtual TTransfer Read(char* data, std::size_t count) = 0;

    // The error word since the last call and the count of received bytes not yet read.
    virtual bool ClearError(std::uint32_t& errors, std::uint32_t& inQueue) = 0;
    virtual bool ModemStatus(std::uint32_t& status) = 0;
    virtual bool Escape(EEscape function) = 0;
    virtual bool Purge(std::uint32_t flags) = 0;
};

#pragma once

#include "handover.h"
#include "portdriver.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// The serial (COM) port through which the program talks to the board.
//
// Wiring for the window (main thread):
//   - SerialPort.OnRxChar = [this](TSerialPort& port, int count) { ... port.ReadText(data, count) ... };
//   - SerialPort.OnPortLost = [this](TSerialPort&) { ... };  the device vanished (USB unplugged); raised once, about
//     a second at most after it happened, through the same hand-over as the other events. Call ClosePort from it.
//   - the hand-over of smThreadSync runs through MainThreadHandOver() (handover.h), which the application wires once.
//
// Events the Linux driver delivers: peRxChar whenever new bytes have arrived (Count is every byte waiting),
// peRx80Full when the waiting bytes reach 80% of InBufSize, peError when the device's error counters (frame,
// parity, overrun, break) grew. peTxEmpty, peRing, peCTS, peDSR and peRLSD have no pollable source on Linux
// and are not delivered; their handlers stay for other drivers.

enum TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TByteSize { bs5, bs6, bs7, bs8 };
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits { sb1, sb1_5, sb2 };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

// Sets as bit masks: bit n is the member with ordinal n.
enum TComError : std::uint8_t {
    ceFrame = 1 << 0,
    ceRxParity = 1 << 1,
    ceOverrun = 1 << 2,
    ceBreak = 1 << 3,
    ceIO = 1 << 4,
    ceMode = 1 << 5,
    ceRxOver = 1 << 6,
    ceTxFull = 1 << 7
};
using TComErrors = std::uint8_t;

enum TModemSignal : std::uint8_t { msCTS = 1 << 0, msDSR = 1 << 1, msRing = 1 << 2, msRLSD = 1 << 3 };
using TModemSignals = std::uint8_t;

enum TPortEvent : std::uint8_t {
    peRxChar = 1 << 0,
    peTxEmpty = 1 << 1,
    peRing = 1 << 2,
    peCTS = 1 << 3,
    peDSR = 1 << 4,
    peRLSD = 1 << 5,
    peError = 1 << 6,
    peRx80Full = 1 << 7
};
using TPortEvents = std::uint8_t;

// Every failure of the port, with one of the fixed messages below (index 0 to 15). Advice on what to do about it,
// when given, follows the message on a line of its own.
class EComPort : public std::runtime_error
{
public:
    enum {
        NotFound = 0,
        Busy = 1,
        WriteFailed = 2,
        ReadFailed = 3,
        BadAsync = 4,
        PurgeFailed = 5,
        AsyncStatusFailed = 6,
        LineSettingsFailed = 7,
        TimeoutsFailed = 8,
        SetupFailed = 9,
        ClearErrorFailed = 10,
        ModemStatusFailed = 11,
        EscapeFailed = 12,
        PropertyLocked = 13,
        PortListFailed = 14,
        NoPermission = 15
    };
    explicit EComPort(int index, const std::string& advice = {});
    int Index() const { return FIndex; }

private:
    int FIndex;
};

class TSerialPort;

// The five time-outs in milliseconds; a negative value means "no limit" (all 32 bits set for the driver).
class TComTimeouts
{
public:
    explicit TComTimeouts(TSerialPort* owner = nullptr) : FOwner(owner) {}
    TComTimeouts& operator=(const TComTimeouts& other);
    TComTimeouts(const TComTimeouts& other) : TComTimeouts(nullptr) { *this = other; }

    int ReadInterval() const { return FReadInterval; }
    int ReadTotalMultiplier() const { return FReadTotalMultiplier; }
    int ReadTotalConstant() const { return FReadTotalConstant; }
    int WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
    int WriteTotalConstant() const { return FWriteTotalConstant; }
    void SetReadInterval(int value);
    void SetReadTotalMultiplier(int value);
    void SetReadTotalConstant(int value);
    void SetWriteTotalMultiplier(int value);
    void SetWriteTotalConstant(int value);

    TPortTimeouts ToDriver() const;

private:
    void Store(int& field, int value);

    TSerialPort* FOwner;
    int FReadInterval = -1;
    int FReadTotalMultiplier = 0;
    int FReadTotalConstant = 0;
    int FWriteTotalMultiplier = 100;
    int FWriteTotalConstant = 1000;
};

// One read or write begun by StartRead/StartWrite and finished by WaitRequest.
struct TAsyncRequest
{
    enum EKind { akRead, akWrite };
    EKind Kind = akWrite;
    bool Succeeded = true;
    std::size_t Transferred = 0;
};

class TComThread;

class TSerialPort
{
public:
    using TNotifyEvent = std::function<void(TSerialPort& sender)>;
    using TRxCharEvent = std::function<void(TSerialPort& sender, int count)>;
    using TComSignalEvent = std::function<void(TSerialPort& sender, bool state)>;
    using TComErrorEvent = std::function<void(TSerialPort& sender, TComErrors errors)>;

    // The default driver is the Linux one; tests pass their own driver and hand-over.
    TSerialPort();
    TSerialPort(std::unique_ptr<IPortDriver> driver, THandOver& handOver);
    ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    bool OpenPort();
    bool ClosePort();
    void SetDTRLine(bool state);
    void SetRTSLine(bool state);
    int WriteText(const std::string& data);
    int ReadText(std::string& data, int count);
    int BytesWaiting();
    TModemSignals ModemSignals();
    void PurgePort();
    void ApplySettings();
    void ApplyBufferSizes();
    void ApplyLineSettings();
    void ApplyTimeouts();

    void StartWrite(TAsyncRequest* request, const char* buffer, int count);
    void StartWriteText(TAsyncRequest* request, const std::string& data);
    void StartRead(TAsyncRequest* request, char* buffer, int count);
    void StartReadText(TAsyncRequest* request, std::string& data, int count);
    int WaitRequest(TAsyncRequest* request);

    bool Connected() const { return FConnected; }
    // How many times OpenPort has opened the port: tells one opening from the next, so that something begun on
    // the port can see whether it was closed (and perhaps opened again) meanwhile.
    unsigned Openings() const { return FOpenings; }
    // True once the wait thread has seen the device vanish; cleared by the next OpenPort.
    bool Lost() const;

    TBaudRate BaudRate() const { return FBaudRate; }
    TByteSize ByteSize() const { return FByteSize; }
    TParity Parity() const { return FParity; }
    TStopBits StopBits() const { return FStopBits; }
    int InBufSize() const { return FInBufSize; }
    int OutBufSize() const { return FOutBufSize; }
    const std::string& Port() const { return FPort; }
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    TComTimeouts& Timeouts() { return FTimeouts; }
    TPortEvents WatchedEvents() const { return FWatchedEvents; }

    void SetBaudRate(TBaudRate value);
    void SetByteSize(TByteSize value);
    void SetParity(TParity value);
    void SetStopBits(TStopBits value);
    void SetInBufSize(int value);
    void SetOutBufSize(int value);
    void SetPort(const std::string& value);
    void SetSyncMethod(TSyncMethod value);
    void SetTimeouts(const TComTimeouts& value);

    // The events of one wake-up, in their fixed order; run by the wait thread's hand-over.
    void DispatchPortEvents(TPortEvents events);

    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnRing;
    TNotifyEvent OnRx80Full;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TRxCharEvent OnRxChar;
    TNotifyEvent OnPortLost;

private:
    friend class TComThread;
    void DispatchSingle(TPortEvent event);
    void ReportLost();
    void StopWaitThread();
    void ClosePortHandle();

    std::unique_ptr<IPortDriver> FDriver;
    THandOver& FHandOver;
    std::unique_ptr<TComThread> FWaitThread;
    TBaudRate FBaudRate = br9600;
    TByteSize FByteSize = bs8;
    TParity FParity = paNone;
    TStopBits FStopBits = sb1;
    bool FConnected = false;
    unsigned FOpenings = 0;
    bool FClosing = false;
    std::atomic<bool> FLost = false;
    TPortEvents FWatchedEvents = 0xFF;
    int FInBufSize = 2048;
    int FOutBufSize = 2048;
    std::string FPort = "COM2";
    TSyncMethod FSyncMethod = smThreadSync;
    TComTimeouts FTimeouts{this};
};

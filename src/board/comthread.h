#pragma once

#include "serialport.h"
#include "stopsignal.h"

#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

// The port's wait thread: sleeps in the driver's event wait and hands every wake-up over by the port's
// sync method. An exception from a hand-over ends it; it is kept and dropped with the thread.
class TComThread
{
public:
    explicit TComThread(TSerialPort& port);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void StopWaiting();
    // Sleeps until the thread has ended or `milliseconds` have passed; true when it has ended.
    bool WaitFinished(int milliseconds);

private:
    void Execute();
    bool HandOver(TPortEvents events);
    void ReportLost();

    TSerialPort& FPort;
    TStopSignal FStop;
    std::exception_ptr FError;
    std::mutex FMutex;
    std::condition_variable FFinishedChanged;
    bool FFinished = false;
    std::thread FThread;
};

// The order in which the events of one wake-up are handled.
inline constexpr std::array<TPortEvent, 8> DispatchOrder{peError, peRxChar, peTxEmpty, peRing,
                                                         peCTS,   peDSR,    peRLSD,    peRx80Full};

// The port events in a driver's event mask; other bits are dropped.
TPortEvents PortEventsFromMask(std::uint32_t mask);
// The driver's event mask for a set of port events.
std::uint32_t MaskFromPortEvents(TPortEvents events);

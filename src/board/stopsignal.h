#pragma once

// A one-shot signal that a thread can sleep on together with a device (its descriptor is readable once
// signalled), used to stop the port's wait thread.
class TStopSignal
{
public:
    TStopSignal();
    ~TStopSignal();
    TStopSignal(const TStopSignal&) = delete;
    TStopSignal& operator=(const TStopSignal&) = delete;

    void Signal();
    bool IsSignalled() const;
    // Sleeps until signalled or `milliseconds` have passed; true when signalled.
    bool WaitFor(int milliseconds) const;
    int Fd() const { return FFd; }

private:
    int FFd;
};

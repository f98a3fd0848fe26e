#pragma once

#include <string>

// Tells when device nodes appear in or vanish from a directory: a USB serial adapter plugged in or out shows as its
// node appearing or vanishing in /dev (devtmpfs reports it; sysfs raises no such notifications). The notification
// descriptor becomes readable on a change, so the owner's event loop waits on it and nothing polls.
class TPortWatch
{
public:
    explicit TPortWatch(const std::string& devDir);
    ~TPortWatch();
    TPortWatch(const TPortWatch&) = delete;
    TPortWatch& operator=(const TPortWatch&) = delete;

    // The descriptor to wait on for reading; -1 when the directory cannot be watched.
    int Handle() const { return FFd; }
    // Reads every pending notification; true when a node appeared or vanished since the last call.
    bool TakeChanges();

private:
    int FFd = -1;
};

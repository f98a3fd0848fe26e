// Waiting: readiness of the handle, the count of bytes waiting, and the bandwidth throttle.

#include "blocksocket.h"

#include "socketerrorcode.h"
#include "tick.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <thread>

namespace quorlane::net {

namespace {

void Sleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

void TBlockSocket::ThrottleTransfer(int length, int limit, std::uint32_t& nextTick)
{
    if (StopFlag || limit <= 0) {
        return;
    }
    const std::uint32_t now = TickMs();
    if (now < nextTick) {
        const std::uint32_t wait = nextTick - now;
        ReportStatus(HR_Wait, std::to_string(wait));
        Sleep(static_cast<int>(wait % 250));
        for (std::uint32_t i = 0; i < wait / 250 && !StopFlag; ++i) {
            Sleep(250);
        }
    }
    nextTick = TickMs() + static_cast<std::uint32_t>(static_cast<double>(length) / limit * 1000);
}

// Readiness

bool TBlockSocket::PollFor(short events, int ms)
{
    if (DeadlinePassed()) {
        return false;
    }
    ms = WithinDeadline(ms);
    pollfd fds[TSocketSet::Capacity];
    for (int i = 0; i < ReadSet.Count; ++i) {
        fds[i] = pollfd{ReadSet.Handles[i], events, 0};
    }
    int result;
    do {
        result = poll(fds, static_cast<nfds_t>(ReadSet.Count), ms < 0 ? -1 : ms);
    } while (result == -1 && errno == EINTR);
    CheckResult(result);
    if (ErrorNumber != 0) {
        return false;
    }
    for (int i = 0; i < ReadSet.Count; ++i) {
        // A closed or failed connection counts as ready: the next call finds out what happened.
        if (fds[i].fd == Handle && Handle != InvalidSocket && (fds[i].revents & (events | POLLHUP | POLLERR)) != 0) {
            return true;
        }
    }
    return false;
}

bool TBlockSocket::PollReadable(int ms)
{
    return PollFor(POLLIN, ms);
}

bool TBlockSocket::WaitFor(short events, int ms)
{
    // The first poll takes what the rounds leave over; an endless wait beats for as long as it lasts.
    const bool beating = HeartbeatRate > 0;
    const int rounds = beating && ms >= 0 ? ms / HeartbeatRate : 0;
    bool ready = PollFor(events, !beating ? ms : ms >= 0 ? ms % HeartbeatRate : 0);
    for (int i = 0; !ready && ErrorNumber == 0 && beating && (ms < 0 || i <= rounds); ++i) {
        if (StopRequested()) {
            break;
        }
        ready = PollFor(events, HeartbeatRate);
    }
    if (!ready && ErrorNumber == 0) {
        DeadlinePassed();
    }
    return ready;
}

bool TBlockSocket::WaitReadable(int ms)
{
    const bool ready = WaitFor(POLLIN, ms);
    ReportError();
    if (ready) {
        ReportStatus(HR_CanRead, "");
    }
    return ready;
}

bool TBlockSocket::WaitReadableOrBuffered(int ms)
{
    return !PendingInput.empty() || WaitReadable(ms);
}

bool TBlockSocket::WaitWritable(int ms)
{
    const bool ready = WaitFor(POLLOUT, ms);
    ReportError();
    if (ready) {
        ReportStatus(HR_CanWrite, "");
    }
    return ready;
}

bool TBlockSocket::DeadlinePassed()
{
    if (!Deadline || std::chrono::steady_clock::now() < *Deadline) {
        return false;
    }
    StopReason = SR_Deadline;
    ErrorNumber = WSAETIMEDOUT;
    return true;
}

int TBlockSocket::WithinDeadline(int ms) const
{
    if (!Deadline) {
        return ms;
    }
    // One millisecond more, so that the poll ends after the deadline rather than just before it.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*Deadline - std::chrono::steady_clock::now()).count();
    const int capped = static_cast<int>(std::clamp<std::int64_t>(left + 1, 0, std::numeric_limits<int>::max()));
    return ms < 0 ? capped : std::min(ms, capped);
}

int TBlockSocket::PendingByteCount()
{
    int count = 0;
    if (ioctl(Handle, FIONREAD, &count) != 0) {
        return 0;
    }
    return std::clamp(count, 0, 65536);
}
} // namespace quorlane::net

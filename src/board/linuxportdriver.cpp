#include "linuxportdriver.h"

#include "portadvice.h"
#include "stopsignal.h"

// The kernel's termios2 (for rates without a Bxxx constant) cannot be mixed with the C library's termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The largest receive queue the driver accepts.
constexpr int MaxQueueSize = 1 << 24;

// How long a blocking read sleeps at most before it looks at the device again.
constexpr auto ReadSlice = std::chrono::milliseconds(10);

// How long a write sleeps between looks at its output queue; a byte takes about 1 ms at 9600 baud.
constexpr auto DrainSlice = std::chrono::milliseconds(2);

struct TRateCode
{
    std::uint32_t Rate;
    unsigned Code;
};

constexpr std::array<TRateCode, 11> RateCodes{{{110, B110},
                                               {300, B300},
                                               {600, B600},
                                               {1200, B1200},
                                               {2400, B2400},
                                               {4800, B4800},
                                               {9600, B9600},
                                               {19200, B19200},
                                               {38400, B38400},
                                               {57600, B57600},
                                               {115200, B115200}}};

// A device without modem lines refuses their calls with one of these; for the port that is no failure.
bool HasNoModemLines(int error)
{
    return error == ENOTTY || error == EINVAL;
}

bool MeansGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

tcflag_t CharacterSizeFlag(std::uint8_t byteSize)
{
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity)
{
    switch (parity) {
    case 1:
        return PARENB | PARODD;
    case 2:
        return PARENB;
    case 3:
        return PARENB | CMSPAR | PARODD;
    case 4:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

void SetSpeed(termios2& tio, std::uint32_t rate)
{
    tio.c_cflag &= ~CBAUD;
    const auto* code =
        std::find_if(RateCodes.begin(), RateCodes.end(), [rate](const TRateCode& item) { return item.Rate == rate; });
    if (code != RateCodes.end()) {
        tio.c_cflag |= code->Code;
    } else {
        tio.c_cflag |= BOTHER;
        tio.c_ispeed = rate;
        tio.c_ospeed = rate;
    }
}

std::uint64_t TotalTimeout(std::uint32_t multiplier, std::uint32_t constant, std::size_t count)
{
    return std::uint64_t{multiplier} * count + constant;
}

} // namespace

TLinuxPortDriver::TLinuxPortDriver() : FSpaceFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TLinuxPortDriver::~TLinuxPortDriver()
{
    Close();
    if (FSpaceFd >= 0)
        close(FSpaceFd);
}

EOpenResult TLinuxPortDriver::OpenResultFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return EOpenResult::NotFound;
    case EBUSY:
    case EWOULDBLOCK:
        return EOpenResult::Busy;
    case EACCES:
    case EPERM:
        return EOpenResult::AccessDenied;
    default:
        return EOpenResult::OtherFailure;
    }
}

EOpenResult TLinuxPortDriver::Open(const std::string& name)
{
    Close();
    const int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return OpenResultFromErrno(errno);
    if (!isatty(fd)) {
        close(fd);
        return EOpenResult::OtherFailure;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        close(fd);
        return OpenResultFromErrno(error);
    }
    std::lock_guard lock(FMutex);
    FFd = fd;
    FQueue.clear();
    FGone = false;
    ReadCounters(FReportedCounters);
    return EOpenResult::Opened;
}

std::string TLinuxPortDriver::OpenAdvice(EOpenResult result, const std::string& name) const
{
    switch (result) {
    case EOpenResult::AccessDenied:
        return PermissionAdvice(name);
    case EOpenResult::Busy:
        return BusyAdvice(name);
    default:
        return {};
    }
}

// Exclusive mode stays on a tty that another program still holds open, so it is switched off before closing.
// Output still queued here could not leave within its write's time-out, and close() would wait for it (up to
// the tty's closing wait, 30 s by default), so it is dropped; a completed write left nothing behind.
void TLinuxPortDriver::Close()
{
    std::lock_guard lock(FMutex);
    if (FFd < 0)
        return;
    int queued = 0;
    if (ioctl(FFd, TIOCOUTQ, &queued) == 0 && queued > 0)
        ioctl(FFd, TCFLSH, TCOFLUSH);
    ioctl(FFd, TIOCNXCL);
    close(FFd);
    FFd = -1;
    FQueue.clear();
}

bool TLinuxPortDriver::SetupQueues(int inSize, int outSize)
{
    if (FFd < 0 || inSize <= 0 || outSize <= 0 || inSize > MaxQueueSize || outSize > MaxQueueSize)
        return false;
    std::lock_guard lock(FMutex);
    FInSize = static_cast<std::size_t>(inSize);
    return true;
}

void TLinuxPortDriver::FillTermios(const TPortLineSettings& settings, termios2& tio)
{
    tio.c_iflag = settings.ParityCheck ? INPCK : 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CREAD | CLOCAL | CharacterSizeFlag(settings.ByteSize) | ParityFlags(settings.Parity);
    if (settings.StopBits != 0)
        tio.c_cflag |= CSTOPB;
    SetSpeed(tio, settings.BaudRate);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = static_cast<cc_t>(settings.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(settings.XoffChar);
}

bool TLinuxPortDriver::SetLineSettings(const TPortLineSettings& settings)
{
    termios2 tio{};
    if (FFd < 0 || ioctl(FFd, TCGETS2, &tio) != 0)
        return false;
    FillTermios(settings, tio);
    if (ioctl(FFd, TCSETS2, &tio) != 0)
        return false;
    int lines = (settings.DtrEnable ? TIOCM_DTR : 0) | (settings.RtsEnable ? TIOCM_RTS : 0);
    return lines == 0 || ioctl(FFd, TIOCMBIS, &lines) == 0 || HasNoModemLines(errno);
}

bool TLinuxPortDriver::SetTimeouts(const TPortTimeouts& timeouts)
{
    if (FFd < 0)
        return false;
    FTimeouts = timeouts;
    return true;
}

bool TLinuxPortDriver::SetEventMask(std::uint32_t mask)
{
    if (FFd < 0)
        return false;
    std::lock_guard lock(FMutex);
    FEventMask = mask;
    return true;
}

EWaitResult TLinuxPortDriver::WaitEvent(const TStopSignal& stop, std::uint32_t& events)
{
    for (;;) {
        bool queueFull;
        {
            std::lock_guard lock(FMutex);
            if (FGone)
                return EWaitResult::Gone;
            queueFull = FQueue.size() >= FInSize;
        }
        std::array<pollfd, 3> items{
            {{stop.Fd(), POLLIN, 0}, {FFd, short(queueFull ? 0 : POLLIN), 0}, {FSpaceFd, POLLIN, 0}}};
        if (poll(items.data(), items.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return EWaitResult::Failed;
        }
        if (items[0].revents)
            return EWaitResult::Stopped;
        if (items[2].revents) {
            std::uint64_t value;
            [[maybe_unused]] const auto drained = read(FSpaceFd, &value, sizeof value);
        }
        if (items[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            std::lock_guard lock(FMutex);
            FGone = true;
            return EWaitResult::Gone;
        }
        if (!(items[1].revents & POLLIN))
            continue;
        std::lock_guard lock(FMutex);
        const EFill fill = FillQueue();
        if (fill == EFill::Gone)
            return EWaitResult::Gone;
        if (fill == EFill::Failed)
            return EWaitResult::Failed;
        if (fill == EFill::Nothing)
            continue;
        events = FEventMask & PortBits::EvRxChar;
        if (FQueue.size() * 5 >= FInSize * 4)
            events |= FEventMask & PortBits::EvRx80Full;
        if (ErrorCountersChanged())
            events |= FEventMask & PortBits::EvErr;
        if (events != 0)
            return EWaitResult::Events;
    }
}

// Moves what the device holds into the receive queue, up to its size. Called with the mutex held.
TLinuxPortDriver::EFill TLinuxPortDriver::FillQueue()
{
    std::array<char, 4096> buffer;
    const std::size_t room = std::min(buffer.size(), FInSize - std::min(FInSize, FQueue.size()));
    if (room == 0)
        return EFill::Nothing;
    const ssize_t n = read(FFd, buffer.data(), room);
    if (n > 0) {
        FQueue.insert(FQueue.end(), buffer.begin(), buffer.begin() + n);
        return EFill::Read;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return EFill::Nothing;
    if (n == 0 || MeansGone(errno)) {
        FGone = true;
        return EFill::Gone;
    }
    return EFill::Failed;
}

TTransfer TLinuxPortDriver::Write(const char* data, std::size_t count)
{
    TTransfer transfer;
    if (FFd < 0)
        return transfer;
    transfer.Started = true;
    const std::uint64_t limit = TotalTimeout(FTimeouts.WriteTotalMultiplier, FTimeouts.WriteTotalConstant, count);
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    while (transfer.Bytes < count) {
        const ssize_t n = write(FFd, data + transfer.Bytes, count - transfer.Bytes);
        if (n > 0) {
            transfer.Bytes += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return transfer;
        int wait = -1;
        if (limit != 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            wait = static_cast<int>(std::min<long long>(left, 1000));
        }
        pollfd item{FFd, POLLOUT, 0};
        if (poll(&item, 1, wait) < 0 && errno != EINTR)
            return transfer;
        if (item.revents & (POLLHUP | POLLERR | POLLNVAL))
            return transfer;
    }
    const std::size_t unsent = WaitUntilSent(limit != 0 ? deadline : Clock::time_point::max());
    transfer.Bytes -= std::min(transfer.Bytes, unsent);
    transfer.Succeeded = true;
    return transfer;
}

// tcdrain has no time-out, so the output queue is looked at until it is empty or `until` has passed. Returns
// the bytes still waiting to leave; a device that cannot report its queue counts as having none.
std::size_t TLinuxPortDriver::WaitUntilSent(Clock::time_point until) const
{
    for (;;) {
        int queued = 0;
        if (ioctl(FFd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return 0;
        const auto now = Clock::now();
        if (now >= until)
            return static_cast<std::size_t>(queued);
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, DrainSlice));
    }
}

// Reads follow the time-outs: an interval of "no limit" with both totals 0 returns at once with what has
// arrived; "no limit" with a multiplier of "no limit" waits up to the constant for the first byte; otherwise
// the total (multiplier × count + constant, 0 for none) and the gap between bytes (0 for none) bound the read.
TTransfer TLinuxPortDriver::Read(char* data, std::size_t count)
{
    TTransfer transfer;
    if (FFd < 0)
        return transfer;
    transfer.Started = true;
    bool failed = false;
    transfer.Bytes = TakeAvailable(data, count, failed);
    const TPortTimeouts t = FTimeouts;
    const bool immediate =
        t.ReadInterval == TPortTimeouts::NoLimit && t.ReadTotalMultiplier == 0 && t.ReadTotalConstant == 0;
    const bool firstByteOnly =
        t.ReadInterval == TPortTimeouts::NoLimit && t.ReadTotalMultiplier == TPortTimeouts::NoLimit;
    if (failed || immediate || transfer.Bytes == count || (firstByteOnly && transfer.Bytes > 0)) {
        transfer.Succeeded = !failed;
        return transfer;
    }
    const std::uint64_t total =
        firstByteOnly ? t.ReadTotalConstant : TotalTimeout(t.ReadTotalMultiplier, t.ReadTotalConstant, count);
    const bool hasTotal = firstByteOnly || total != 0;
    const bool hasInterval = !firstByteOnly && t.ReadInterval != 0 && t.ReadInterval != TPortTimeouts::NoLimit;
    const auto start = Clock::now();
    auto lastByte = start;
    while (transfer.Bytes < count) {
        auto until = Clock::time_point::max();
        if (hasTotal)
            until = start + std::chrono::milliseconds(total);
        if (hasInterval && transfer.Bytes > 0)
            until = std::min(until, lastByte + std::chrono::milliseconds(t.ReadInterval));
        if (Clock::now() >= until || !WaitForData(until))
            break;
        const std::size_t n = TakeAvailable(data + transfer.Bytes, count - transfer.Bytes, failed);
        if (failed)
            return transfer;
        if (n > 0) {
            transfer.Bytes += n;
            lastByte = Clock::now();
            if (firstByteOnly)
                break;
        }
    }
    transfer.Succeeded = true;
    return transfer;
}

// Takes bytes from the receive queue and then straight from the device, without waiting.
std::size_t TLinuxPortDriver::TakeAvailable(char* data, std::size_t count, bool& failed)
{
    std::lock_guard lock(FMutex);
    const bool wasFull = FQueue.size() >= FInSize;
    const std::size_t fromQueue = std::min(count, FQueue.size());
    std::copy_n(FQueue.begin(), fromQueue, data);
    FQueue.erase(FQueue.begin(), FQueue.begin() + static_cast<std::ptrdiff_t>(fromQueue));
    if (wasFull && fromQueue > 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto woken = write(FSpaceFd, &one, sizeof one);
    }
    std::size_t taken = fromQueue;
    while (taken < count && !FGone) {
        const ssize_t n = read(FFd, data + taken, count - taken);
        if (n > 0) {
            taken += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || MeansGone(errno))
            FGone = true;
        else if (errno != EAGAIN)
            failed = true;
        break;
    }
    return taken;
}

// Sleeps until the device or the receive queue may hold new bytes, or `until`; false when the time is up.
bool TLinuxPortDriver::WaitForData(Clock::time_point until)
{
    const auto now = Clock::now();
    if (now >= until)
        return false;
    const auto slice = std::min<Clock::duration>(until - now, ReadSlice);
    std::unique_lock lock(FMutex);
    if (FGone)
        return false;
    if (!FQueue.empty())
        return true;
    pollfd item{FFd, POLLIN, 0};
    lock.unlock();
    poll(&item, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(slice).count()) + 1);
    return true;
}

bool TLinuxPortDriver::ClearError(std::uint32_t& errors, std::uint32_t& inQueue)
{
    std::lock_guard lock(FMutex);
    if (FFd < 0)
        return false;
    int pending = 0;
    if (!FGone && ioctl(FFd, FIONREAD, &pending) != 0) {
        if (!MeansGone(errno))
            return false;
        FGone = true;
    }
    errors = NewErrorWord();
    inQueue = static_cast<std::uint32_t>(FQueue.size()) + (FGone ? 0 : static_cast<std::uint32_t>(pending));
    return true;
}

bool TLinuxPortDriver::ReadCounters(TCounters& counters) const
{
    serial_icounter_struct raw{};
    if (ioctl(FFd, TIOCGICOUNT, &raw) != 0)
        return false;
    counters = {raw.frame, raw.parity, raw.overrun, raw.buf_overrun, raw.brk};
    return true;
}

bool TLinuxPortDriver::ErrorCountersChanged()
{
    TCounters now;
    return ReadCounters(now) && !(now == FReportedCounters);
}

// The error word since the last call, from the growth of the device's error counters.
std::uint32_t TLinuxPortDriver::NewErrorWord()
{
    TCounters now;
    if (!ReadCounters(now))
        return 0;
    std::uint32_t word = 0;
    if (now.Frame != FReportedCounters.Frame)
        word |= PortBits::CeFrame;
    if (now.Parity != FReportedCounters.Parity)
        word |= PortBits::CeRxParity;
    if (now.Overrun != FReportedCounters.Overrun)
        word |= PortBits::CeOverrun;
    if (now.BufOverrun != FReportedCounters.BufOverrun)
        word |= PortBits::CeRxOver;
    if (now.Break != FReportedCounters.Break)
        word |= PortBits::CeBreak;
    FReportedCounters = now;
    return word;
}

bool TLinuxPortDriver::ModemStatus(std::uint32_t& status)
{
    int lines = 0;
    if (FFd < 0)
        return false;
    if (ioctl(FFd, TIOCMGET, &lines) != 0) {
        if (!HasNoModemLines(errno))
            return false;
        lines = 0;
    }
    status = ((lines & TIOCM_CTS) ? PortBits::MsCtsOn : 0) | ((lines & TIOCM_DSR) ? PortBits::MsDsrOn : 0) |
             ((lines & TIOCM_RI) ? PortBits::MsRingOn : 0) | ((lines & TIOCM_CD) ? PortBits::MsRlsdOn : 0);
    return true;
}

bool TLinuxPortDriver::Escape(EEscape function)
{
    if (FFd < 0)
        return false;
    const bool set = function == EEscape::SetDtr || function == EEscape::SetRts;
    int line = (function == EEscape::SetDtr || function == EEscape::ClearDtr) ? TIOCM_DTR : TIOCM_RTS;
    return ioctl(FFd, set ? TIOCMBIS : TIOCMBIC, &line) == 0 || HasNoModemLines(errno);
}

bool TLinuxPortDriver::Purge(std::uint32_t flags)
{
    if (FFd < 0)
        return false;
    const bool input = flags & (PortBits::PurgeRxAbort | PortBits::PurgeRxClear);
    const bool output = flags & (PortBits::PurgeTxAbort | PortBits::PurgeTxClear);
    if (!input && !output)
        return true;
    std::lock_guard lock(FMutex);
    if (input)
        FQueue.clear();
    const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return ioctl(FFd, TCFLSH, queue) == 0 || (FGone && MeansGone(errno));
}

#include "stopsignal.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

TStopSignal::TStopSignal() : FFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (FFd < 0)
        throw std::runtime_error("cannot create the stop signal");
}

TStopSignal::~TStopSignal()
{
    close(FFd);
}

void TStopSignal::Signal()
{
    const std::uint64_t one = 1;
    while (write(FFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool TStopSignal::IsSignalled() const
{
    return WaitFor(0);
}

bool TStopSignal::WaitFor(int milliseconds) const
{
    pollfd item{FFd, POLLIN, 0};
    int result;
    while ((result = poll(&item, 1, milliseconds)) < 0 && errno == EINTR) {
    }
    return result > 0;
}

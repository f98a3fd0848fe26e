#include "portwatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint32_t NodeChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

} // namespace

TPortWatch::TPortWatch(const std::string& devDir) : FFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (FFd >= 0 && inotify_add_watch(FFd, devDir.c_str(), NodeChanges | IN_ONLYDIR) < 0) {
        close(FFd);
        FFd = -1;
    }
}

TPortWatch::~TPortWatch()
{
    if (FFd >= 0)
        close(FFd);
}

bool TPortWatch::TakeChanges()
{
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(FFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return changed;
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            changed = changed || (event.mask & (NodeChanges | IN_Q_OVERFLOW)) != 0;
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
}

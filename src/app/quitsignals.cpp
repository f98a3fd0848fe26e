#include "quitsignals.h"

#include "application.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

constexpr int QuitSignals[] = {SIGINT, SIGTERM, SIGHUP};
int SignalPipe[2] = {-1, -1};

void OnQuitSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
    errno = saved;
}

void Handle(void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : QuitSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

TQuitSignals::TQuitSignals(std::function<void()> onQuit) : FOnQuit(std::move(onQuit))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, SignalPipe) != 0) {
        return;
    }
    FNotifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(SignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        TApplication::RunHandler(FOnQuit);
    });
    Handle(OnQuitSignal);
}

TQuitSignals::~TQuitSignals()
{
    Handle(SIG_DFL);
    FNotifier.reset();
    for (int& end : SignalPipe) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
}

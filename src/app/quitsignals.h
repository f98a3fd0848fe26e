#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

// SIGINT, SIGTERM and SIGHUP end the program the way the user's close does, without asking: a terminal closed under
// the program must not leave a flashing tool holding the board's port. The signal handler only writes a byte; the
// request is served on the main thread by the event loop, also inside a long handler that processes events.
class TQuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit TQuitSignals(std::function<void()> onQuit);
    ~TQuitSignals() override;
    TQuitSignals(const TQuitSignals&) = delete;
    TQuitSignals& operator=(const TQuitSignals&) = delete;

private:
    std::function<void()> FOnQuit;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

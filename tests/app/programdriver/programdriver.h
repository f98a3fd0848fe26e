#pragma once

#include <QFile>
#include <QObject>
#include <QTimer>

class QWidget;

// Drives the real program from inside its own event loop, the way a user would, and writes what it saw to a report
// file, one entry per line:
//   - every message box: "box: " and its text (line breaks as " / "); the box is then closed, by the button whose
//     caption QUORLANE_DRIVER_ANSWER names when it has one;
//   - the main window once it shows: "window: " and its caption; then Connect on the preselected port, Save on the
//     Access page once the board's INIT opened it, the Firmware tab once the board's ACCESS showed it, Upload on the
//     catalogue entry QUORLANE_DRIVER_PROJECT (a position, the first one when unset), "flashing" once the memo
//     shows the tool's progress, and when the memo reports the upload done, "firmware: " and each of its lines,
//     after which the window is closed and the program ends. With QUORLANE_DRIVER_CLOSE_WHEN_FLASHING set, the
//     window is closed as soon as the tool's progress shows ("closing").
// Widgets are found by their object names only, so the driver needs nothing of the program's code.
class TProgramDriver : public QObject
{
    Q_OBJECT

public:
    explicit TProgramDriver(const QString& reportFile);

private:
    void Tick();
    void Step(QWidget* window);
    void Report(const QString& entry);
    void WatchFlash(QWidget* window, const QString& memo);

    QFile FReport;
    QTimer FTimer;
    int FStep = 0;
    bool FActing = false;
    bool FFlashing = false;
};

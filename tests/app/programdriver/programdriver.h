#pragma once

#include <QFile>
#include <QObject>
#include <QTimer>

class QWidget;

// Drives the real program from inside its own event loop, the way a user would, and writes what it saw to a report
// file, one entry per line:
//   - every message box: "box: " and its text (line breaks as " / "); the box is then closed;
//   - the main window once it shows: "window: " and its caption; then Connect on the preselected port, Save on the
//     Access page once the board's INIT opened it, the Firmware tab once the board's ACCESS showed it, Upload on the
//     first catalogue entry, and when the memo reports the upload done, "firmware: " and each of its lines, after
//     which the window is closed and the program ends.
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

    QFile FReport;
    QTimer FTimer;
    int FStep = 0;
    bool FActing = false;
};

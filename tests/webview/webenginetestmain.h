#pragma once

#include <QApplication>
#include <QString>

// The application object of the engine test programs. Like the program's own, it stops an
// exception at the event loop; the tests read what it stopped.
class TTestApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;

    QString LastError;
};

TTestApplication& TestApp();

class TBoardWebServer;

// The server whose loopback proxy every engine request for a host name goes through (loopback
// addresses bypass it). Host names are never resolved here, so nothing leaves the machine.
TBoardWebServer& TestProxy();

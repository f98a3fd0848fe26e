#pragma once

#include <QApplication>
#include <QString>

// The application object of the browser control's tests. Like the program's own, it stops an
// exception at the event loop; the tests read what it stopped.
class TTestApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;

    QString LastError;
};

TTestApplication& TestApp();

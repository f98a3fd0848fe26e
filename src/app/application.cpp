#include "application.h"

#include "handover.h"
#include "sessionlog.h"

#include <QMessageBox>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quorlane"));
    // The serial port's wait thread hands its events to the main thread: a queued call serves them when the event
    // loop gets to it, and so also inside every processEvents of a long handler.
    MainThreadHandOver().SetWakeHook([] {
        QMetaObject::invokeMethod(
            qApp, [] { MainThreadHandOver().ProcessPending(); }, Qt::QueuedConnection);
    });
    MainThreadHandOver().SetErrorDisplay(&TApplication::ShowException);
}

TApplication::~TApplication()
{
    MainThreadHandOver().SetWakeHook(nullptr);
    MainThreadHandOver().SetErrorDisplay(nullptr);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    RunHandler([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void TApplication::RunHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TApplication::ShowException(const std::exception& error)
{
    const QString text = ErrorDisplayText(QString::fromUtf8(error.what()));
    LogEntry("error", text.toStdString());
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quorlane"), text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorDisplay"));
    box.exec();
}

QString ErrorDisplayText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

#pragma once

#include <QApplication>
#include <exception>
#include <functional>

// The application object. Every exception that escapes a handler ends here and is shown by the default error
// display; the program then goes on with whatever state the handler left.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs one handler; an exception it lets out goes to the default error display instead of the event loop.
    static void RunHandler(const std::function<void()>& handler);
    static void ShowException(const std::exception& error);
};

// The message as the error display shows it: a full stop is added when its last character sorts after ".".
QString ErrorDisplayText(const QString& message);

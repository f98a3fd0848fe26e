#include "startfailure.h"

#include "application.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// Without one of these the platform plugin cannot connect anywhere and Qt would end the program itself.
bool HasDisplay()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

} // namespace

void ShowStartFailure(int& argc, char** argv, const std::string& reason)
{
    if (!HasDisplay()) {
        return;
    }
    const QApplication application(argc, argv);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quorlane"), ErrorDisplayText(QString::fromStdString(reason)),
                    QMessageBox::Ok);
    box.exec();
}

#include "programdriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

QWidget* MainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("FMain") && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

bool TabShown(QWidget* window, const char* page)
{
    auto* pages = window->findChild<QTabWidget*>(QStringLiteral("PCMain"));
    return pages->isTabVisible(pages->indexOf(window->findChild<QWidget*>(QLatin1String(page))));
}

} // namespace

TProgramDriver::TProgramDriver(const QString& reportFile) : FReport(reportFile)
{
    FReport.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    connect(&FTimer, &QTimer::timeout, this, &TProgramDriver::Tick);
    FTimer.start(50);
}

// Boxes are served even while an action runs: the program's handlers open them from inside the driver's clicks.
void TProgramDriver::Tick()
{
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        Report(QStringLiteral("box: ") + box->text().replace(QLatin1Char('\n'), QLatin1String(" / ")));
        const QString answer = qEnvironmentVariable("QUORLANE_DRIVER_ANSWER");
        for (QAbstractButton* button : box->buttons()) {
            if (!answer.isEmpty() && button->text() == answer) {
                button->click();
                return;
            }
        }
        box->done(0);
        return;
    }
    QWidget* window = MainWindow();
    if (FActing || window == nullptr) {
        return;
    }
    FActing = true;
    Step(window);
    FActing = false;
}

void TProgramDriver::Step(QWidget* window)
{
    auto* saveButton = window->findChild<QPushButton*>(QStringLiteral("BAccessSave"));
    auto* projects = window->findChild<QComboBox*>(QStringLiteral("CBProject"));
    auto* firmwareMemo = window->findChild<QPlainTextEdit*>(QStringLiteral("MFirmware"));
    switch (FStep) {
    case 0:
        Report(QStringLiteral("window: ") + window->windowTitle());
        ++FStep;
        window->findChild<QPushButton*>(QStringLiteral("BComConn"))->click();
        break;
    case 1:
        if (saveButton->isEnabled()) {
            ++FStep;
            saveButton->click();
        }
        break;
    case 2:
        if (TabShown(window, "TSFirmware")) {
            ++FStep;
            // What a click on the tab does: the page changes by the user's hand.
            auto* pages = window->findChild<QTabWidget*>(QStringLiteral("PCMain"));
            pages->setCurrentIndex(pages->indexOf(window->findChild<QWidget*>(QStringLiteral("TSFirmware"))));
        }
        break;
    case 3:
        if (projects->count() > 0) {
            ++FStep;
            projects->setCurrentIndex(qEnvironmentVariableIntValue("QUORLANE_DRIVER_PROJECT"));
            // Clicked from the event loop, not from this tick: a timer does not fire again while its own handler
            // runs, and the driver watches the upload from its ticks.
            QTimer::singleShot(0, window->findChild<QPushButton*>(QStringLiteral("BUpload")), &QPushButton::click);
        }
        break;
    case 4:
        WatchFlash(window, firmwareMemo->toPlainText());
        if (firmwareMemo->toPlainText().contains(QLatin1String("Upload firmware done!"))) {
            ++FStep;
            for (const QString& line : firmwareMemo->toPlainText().split(QLatin1Char('\n'))) {
                Report(QStringLiteral("firmware: ") + line);
            }
            window->close();
        }
        break;
    default:
        break;
    }
}

void TProgramDriver::WatchFlash(QWidget* window, const QString& memo)
{
    if (FFlashing || !memo.contains(QLatin1String("Writing at"))) {
        return;
    }
    FFlashing = true;
    Report(QStringLiteral("flashing"));
    if (qEnvironmentVariableIsSet("QUORLANE_DRIVER_CLOSE_WHEN_FLASHING")) {
        Report(QStringLiteral("closing"));
        window->close();
    }
}

void TProgramDriver::Report(const QString& entry)
{
    FReport.write(entry.toUtf8() + '\n');
    FReport.flush();
}

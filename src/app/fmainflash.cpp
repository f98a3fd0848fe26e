#include "fmain.h"

#include "consoletoolrunner.h"
#include "filelocations.h"
#include "flashcommands.h"
#include "memo.h"
#include "memoconsole.h"
#include "progressbar.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QThread>

void TFMain::BComInitClick()
{
    if (CBComPort->currentIndex() < 0) {
        return;
    }
    MComEcho->clear();
    MComEcho->AddLine(QStringLiteral("Prepare initializer..."));
    const std::vector<std::string> searched = InitImageDirectories();
    const std::string image = FindInitImage(searched);
    if (image.empty()) {
        for (const std::string& line : InitImageMissingLines(searched)) {
            MComEcho->AddLine(QString::fromStdString(line));
        }
        return;
    }
    const std::string directory = WorkDirectory();
    const QList<QWidget*> controls{CBComPort, BComRefresh, BComConn, BComDisconn, BComInit};
    for (QWidget* control : controls) {
        control->setEnabled(false);
    }
    QThread::msleep(200);
    QCoreApplication::processEvents();
    BComDisconnClick();
    std::string output;
    RunConsoleTool(InitializeCommand(SelectedPort(), ImageArgument(image, directory)), MComEcho, directory, output);
    for (QWidget* control : controls) {
        control->setEnabled(true);
    }
    BComConnClick();
}

void TFMain::FlashFirmware()
{
    PB->setVisible(false);
    QCoreApplication::processEvents();
    // Only the port is closed: the status panel, the Access page and the tabs stay as they are.
    SerialPort.ClosePort();
    std::string output;
    RunConsoleTool(FirmwareCommand(SelectedPort()), MFirmware, WorkDirectory(), output);
    MFirmware->AddLine(QStringLiteral("Upload firmware done!"));
}

void TFMain::RunConsoleTool(const std::string& command, TMemo* memo, const std::string& directory, std::string& output)
{
    TMemoConsole console(memo);
    ::RunConsoleTool(command, console, directory, output);
}

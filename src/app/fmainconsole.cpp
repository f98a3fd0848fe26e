#include "fmain.h"

#include "listcomports.h"
#include "memo.h"
#include "passwordmask.h"
#include "statuspanel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QThread>

namespace {

constexpr int MaxConsoleLines = 2000;

// A console line as the memo shows it, passwords masked. The board's line ends in CR; the memo keeps one line per
// entry, so carriage returns are not inserted (the text widget would start a new paragraph at each).
QString ConsoleLineText(const std::string& line)
{
    QString text = QString::fromUtf8(MaskPasswords(line));
    text.remove(QLatin1Char('\r'));
    return text;
}

} // namespace

void TFMain::BComRefreshClick()
{
    BComDisconnClick();
    const int selected = CBComPort->currentIndex();
    CBComPort->clear();
    std::vector<std::string> ports;
    ListComPorts(ports);
    for (const std::string& port : ports) {
        CBComPort->addItem(QString::fromStdString(port));
    }
    if (selected == -1) {
        CBComPort->setCurrentIndex(CBComPort->count() > 0 ? 0 : -1);
    } else {
        CBComPort->setCurrentIndex(selected < CBComPort->count() ? selected : -1);
    }
}

void TFMain::CBComPortChange()
{
    BComDisconnClick();
}

void TFMain::BComConnClick()
{
    ConnectBoard(true);
}

void TFMain::ConnectBoard(bool clearConsole)
{
    if (CBComPort->currentIndex() < 0) {
        return;
    }
    BComDisconnClick();
    if (clearConsole) {
        MComEcho->clear();
    }
    MComEcho->AddLine(QStringLiteral("Connecting..."));
    QCoreApplication::processEvents();
    QThread::msleep(1000);
    Console.Reset();
    const QString port = CBComPort->currentText();
    SerialPort.SetPort(port.toStdString());
    if (SerialPort.OpenPort()) {
        // The pulse on DTR resets the board, which then prints its console from the beginning.
        SerialPort.SetDTRLine(false);
        QThread::msleep(500);
        SerialPort.SetDTRLine(true);
        PComState->SetState(QStringLiteral("ONLINE"), PanelColor::Olive);
        PAccess->SetState(QStringLiteral("NOT READY, INITIALIZE NOW"), PanelColor::Maroon);
        MComEcho->AddLine(QStringLiteral("Board connected to ") + port);
    } else {
        PComState->SetState(QStringLiteral("FAIL"), PanelColor::Maroon);
        MComEcho->AddLine(QStringLiteral("Fail connect to ") + port);
    }
    QCoreApplication::processEvents();
}

void TFMain::BComDisconnClick()
{
    SerialPort.ClosePort();
    PComState->SetState(QStringLiteral("WAIT"), PanelColor::Gray);
    AAccessResetExecute();
}

void TFMain::SerialPortRxChar(int count)
{
    std::string data;
    SerialPort.ReadText(data, count);
    const TBoardConsole::TSink sink{[this](const std::string& line) { FPendingLines.append(ConsoleLineText(line)); },
                                    [this](const std::string& message) {
                                        ShowConsoleLines();
                                        PComState->SetState(QStringLiteral("READY"), PanelColor::Green);
                                        HandleBoardMessage(message);
                                    }};
    Console.Receive(data, sink);
    ShowConsoleLines();
    MComEcho->KeepLastLines(MaxConsoleLines);
    MComEcho->ScrollToEnd();
}

// The lines completed since the last call go into the memo in one edit; a board message is handled only after the
// lines before it are shown, since REBOOT empties the memo.
void TFMain::ShowConsoleLines()
{
    MComEcho->AddLines(FPendingLines);
    FPendingLines.clear();
}

void TFMain::SerialPortLost()
{
    const QString port = QString::fromStdString(SerialPort.Port());
    BComDisconnClick();
    MComEcho->AddLine(QStringLiteral("Lost connection to ") + port);
}

#include "fmain.h"

#include "application.h"
#include "listcomports.h"
#include "memo.h"
#include "portwatch.h"
#include "sessionlog.h"
#include "sessionlogentries.h"
#include "statuspanel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

namespace {

constexpr int MaxConsoleLines = 2000;

// A console line as the memo shows it (the console has masked its passwords). The board's line ends in CR; the
// memo keeps one line per entry, so carriage returns are not inserted (the text widget would start a new paragraph
// at each).
QString ConsoleLineText(const std::string& shown)
{
    QString text = QString::fromUtf8(shown);
    text.remove(QLatin1Char('\r'));
    return text;
}

// A port as the list shows it: its device path, and beside it the adapter's name when it has one.
QString PortText(const TComPort& port)
{
    const QString path = QString::fromStdString(port.Path);
    return port.Adapter.empty() ? path : path + QStringLiteral(" \u2014 ") + QString::fromStdString(port.Adapter);
}

} // namespace

// The list shows each port's text and keeps its device path as the entry's data; the drop-down is made wide enough
// for the adapter names, which the box itself may cut off.
void TFMain::FillPortList()
{
    const QStringList before = PortEntries(CBComPort);
    CBComPort->clear();
    std::vector<TComPort> ports;
    ListComPorts(ports, FPortSource);
    for (const TComPort& port : ports) {
        CBComPort->addItem(PortText(port), QString::fromStdString(port.Path));
        CBComPort->setItemData(CBComPort->count() - 1, QString::fromStdString(port.AdapterId), AdapterIdRole);
    }
    CBComPort->view()->setMinimumWidth(CBComPort->view()->sizeHintForColumn(0));
    LogPortChanges(before, PortEntries(CBComPort));
}

std::string TFMain::SelectedPort() const
{
    return CBComPort->currentData().toString().toStdString();
}

void TFMain::SetPortSource(const TPortSource& source)
{
    FPortSource = source;
    FPortNotifier.reset();
    FPortWatch = std::make_unique<TPortWatch>(source.DevDir);
    if (FPortWatch->Handle() < 0) {
        return;
    }
    FPortNotifier = std::make_unique<QSocketNotifier>(FPortWatch->Handle(), QSocketNotifier::Read);
    connect(FPortNotifier.get(), &QSocketNotifier::activated, this,
            [this] { TApplication::RunHandler([this] { PortsChanged(); }); });
}

// A port plugged in or out. The selection stays on its port while that port exists, and a connected board stays
// connected; when the selected port is gone, the first port is selected and its connection counts as lost.
void TFMain::PortsChanged()
{
    if (!FPortWatch->TakeChanges()) {
        return;
    }
    const QString selected = CBComPort->currentData().toString();
    FillPortList();
    if (!FPinned.Port.empty() && CBComPort->findData(QString::fromStdString(FPinned.Port)) < 0) {
        FPinned.Lost = true;
    }
    const int position = selected.isEmpty() ? -1 : CBComPort->findData(selected);
    if (position >= 0) {
        CBComPort->setCurrentIndex(position);
        return;
    }
    CBComPort->setCurrentIndex(CBComPort->count() > 0 ? 0 : -1);
    if (!selected.isEmpty() && SerialPort.Connected()) {
        SerialPortLost();
    }
}

void TFMain::BComRefreshClick()
{
    BComDisconnClick();
    const int selected = CBComPort->currentIndex();
    FillPortList();
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

void TFMain::ConnectBoard(bool clearConsole, const QString& firstLine)
{
    if (CBComPort->currentIndex() < 0) {
        return;
    }
    BComDisconnClick();
    if (clearConsole) {
        MComEcho->clear();
    }
    if (!firstLine.isEmpty()) {
        MComEcho->AddLine(firstLine);
    }
    MComEcho->AddLine(QStringLiteral("Connecting..."));
    QCoreApplication::processEvents();
    QThread::msleep(1000);
    Console.Reset();
    const QString port = CBComPort->currentData().toString();
    SerialPort.SetPort(port.toStdString());
    if (OpenPortLogged(SerialPort)) {
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
    LogEntry("port", "lost connection to " + SerialPort.Port());
    FPinned.Lost = FPinned.Lost || SerialPort.Port() == FPinned.Port;
    BComDisconnClick();
    MComEcho->AddLine(QStringLiteral("Lost connection to ") + port);
}

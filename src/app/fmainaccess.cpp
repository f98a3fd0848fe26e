#include "fmain.h"

#include "boardaddress.h"
#include "boardmessage.h"
#include "memo.h"
#include "pagecontrol.h"
#include "settingsline.h"
#include "statuspanel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

namespace {

QString Text(const std::string& text)
{
    return QString::fromUtf8(text);
}

std::string Text(const QString& text)
{
    return text.toUtf8().toStdString();
}

} // namespace

// A message that cannot be read or carried out ends its handling silently; what was done before stays done.
void TFMain::HandleBoardMessage(const std::string& text)
{
    const TBoardMessage message = DecodeBoardMessage(text);
    try {
        switch (message.Kind) {
        case TBoardMessage::Init:
            ApplyInit(message);
            break;
        case TBoardMessage::Access:
            ApplyAccess(message);
            break;
        case TBoardMessage::Reboot:
            RebootBoard();
            break;
        case TBoardMessage::None:
            break;
        }
    } catch (const std::exception&) {
        // The board's port failed during REBOOT's reset pulse; the next connect starts afresh.
    }
}

void TFMain::ApplyInit(const TBoardMessage& message)
{
    PAccess->SetState(QStringLiteral("READY FOR SETUP WI-FI ACCESS"), PanelColor::Olive);
    for (QWidget* control : AccessControls()) {
        control->setEnabled(true);
    }
    BAccessSave->setEnabled(true);
    for (std::size_t field = 0; field < message.Fields.size(); ++field) {
        SetAccessField(static_cast<TAccessField>(field), Text(message.Fields[field]));
        if (static_cast<TAccessField>(field) == TAccessField::BoardPass) {
            BoardPassword = Text(EBoardPass->text());
        }
    }
    if (message.Scan) {
        const QString ssid = CBSsid->currentText();
        CBSsid->clear();
        for (const std::string& network : *message.Scan) {
            CBSsid->addItem(Text(network));
        }
        CBSsid->setCurrentIndex(-1);
        CBSsid->setEditText(ssid);
    }
}

// An "ip" that is no address is not kept: the Setup page would open it and sign in there with the board password.
// The panel says what the board reported instead, and the Setup page is not offered.
void TFMain::ApplyAccess(const TBoardMessage& message)
{
    std::string* const address[] = {&Console.BoardIp, &Console.BoardGateway, &Console.BoardNetmask};
    for (std::size_t part = 0; part < message.Address.size(); ++part) {
        *address[part] = message.Address[part];
    }
    const bool refused = !message.Address.empty() && !ParseBoardAddress(Console.BoardIp);
    if (refused) {
        Console.BoardIp.clear();
    }
    if (message.Address.size() < std::size(address)) {
        return;
    }
    PCMain->SetTabShown(TSFirmware, true);
    PCMain->SetTabShown(TSSetup, !refused);
    if (refused) {
        PAccess->SetState(Text(RefusedAddressText(message.Address.front())), PanelColor::Maroon);
        return;
    }
    PAccess->SetState(Text("GOT ACCESS! IP:" + Console.BoardIp + " Gateway:" + Console.BoardGateway +
                           " Netmask:" + Console.BoardNetmask),
                      PanelColor::Green);
}

// The board is held in reset without holding up the window: the timer raises DTR again. A REBOOT that arrives
// while the pulse is under way joins it, so that a board sending many of them restarts once and the window goes on
// serving its events meanwhile; nothing here processes events, so no received bytes are handled in between.
void TFMain::RebootBoard()
{
    if (!FRebootPulse->isActive() || FRebootOpening != SerialPort.Openings()) {
        SerialPort.SetDTRLine(false);
        FRebootOpening = SerialPort.Openings();
        FRebootPulse->start();
    }
    MComEcho->clear();
    MComEcho->AddLine(QStringLiteral("Rebooting..."));
    PAccess->SetState(QStringLiteral("REBOOT..."), PanelColor::Gray);
    Console.Reset();
}

// A port closed during the pulse, or closed and opened again, is left as it is: its DTR is no longer the pulse's.
// A device that went away meanwhile ends the pulse silently; the port's loss is reported on its own.
void TFMain::EndRebootPulse()
{
    if (!SerialPort.Connected() || SerialPort.Openings() != FRebootOpening) {
        return;
    }
    try {
        SerialPort.SetDTRLine(true);
    } catch (const EComPort&) {
    }
}

void TFMain::BAccessSaveClick()
{
    std::array<std::string, AccessFieldCount> values;
    for (int field = 0; field < AccessFieldCount; ++field) {
        values[static_cast<std::size_t>(field)] = Text(AccessFieldText(static_cast<TAccessField>(field)));
    }
    BoardPassword = Text(EBoardPass->text());
    PAccess->SetText(QStringLiteral("SAVED"));
    QCoreApplication::processEvents();
    const std::string line = BuildSettingsLine(values);
    const int written = SerialPort.WriteText(line);
    // The write time-out expired before the whole line went out: the board has not got the settings.
    if (written < static_cast<int>(line.size())) {
        throw std::runtime_error("Settings not sent: the board took " + std::to_string(written) + " of " +
                                 std::to_string(line.size()) + " bytes before the write time-out");
    }
}

void TFMain::PAccessClick()
{
    ENetIp->setText(Text(Console.BoardIp));
    ENetGate->setText(Text(Console.BoardGateway));
    ENetMask->setText(Text(Console.BoardNetmask));
}

// The Access page's inputs, CBSsid first, then the edits in TAccessField order.
QList<QWidget*> TFMain::AccessControls() const
{
    return {CBSsid, EWFPass, EBoardName, EBoardPass, EInitSsid, EInitPass, ENetIp, ENetGate, ENetMask};
}

QString TFMain::AccessFieldText(TAccessField field) const
{
    if (field == TAccessField::Ssid) {
        return CBSsid->currentText();
    }
    return static_cast<QLineEdit*>(AccessControls()[static_cast<int>(field)])->text();
}

void TFMain::SetAccessField(TAccessField field, const QString& text)
{
    if (field == TAccessField::Ssid) {
        CBSsid->setEditText(text);
        return;
    }
    static_cast<QLineEdit*>(AccessControls()[static_cast<int>(field)])->setText(text);
}

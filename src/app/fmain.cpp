#include "fmain.h"

#include "application.h"
#include "chromium.h"
#include "flashcommands.h"
#include "memo.h"
#include "pagecontrol.h"
#include "portwatch.h"
#include "programversion.h"
#include "progressbar.h"
#include "sessionlogentries.h"
#include "settings.h"
#include "statuspanel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <stdexcept>

namespace {

template <typename T>
T* Named(T* control, const char* name)
{
    control->setObjectName(QLatin1String(name));
    return control;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, QRect geometry)
{
    auto* button = Named(new QPushButton(QLatin1String(caption), parent), name);
    button->setGeometry(geometry);
    return button;
}

// A caption; with a buddy, the field it names: screen readers then name the field by it (a drop-down list, whose
// accessible name on Linux is its current text, is known only so), and a click on it focuses the field.
QLabel* Label(QWidget* parent, const char* caption, QPoint at, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(QLatin1String(caption), parent);
    label->move(at);
    label->setBuddy(buddy);
    return label;
}

// A field's name for screen readers. The caption alone would not tell the Access page's fields apart (three are
// "Password"), and a field without one would be announced by its group's title.
template <typename T>
T* Spoken(T* field, const char* name)
{
    field->setAccessibleName(QLatin1String(name));
    return field;
}

// One labelled edit row of an Access page group.
QLineEdit* Edit(QGroupBox* group, const char* name, const char* caption, int row, const char* spoken)
{
    auto* edit = Spoken(Named(new QLineEdit(group), name), spoken);
    edit->setGeometry(120, 26 + row * 32, 570, 26);
    Label(group, caption, {16, 30 + row * 32}, edit);
    return edit;
}

QGroupBox* Group(QWidget* parent, const char* caption, QRect geometry)
{
    auto* group = new QGroupBox(QLatin1String(caption), parent);
    group->setGeometry(geometry);
    return group;
}

QString FontFamily()
{
    return QFontDatabase::families().contains(QStringLiteral("Verdana")) ? QStringLiteral("Verdana")
                                                                         : QStringLiteral("DejaVu Sans");
}

template <typename Control, typename Signal>
void Wire(Control* control, Signal signal, TFMain* window, void (TFMain::*handler)())
{
    QObject::connect(control, signal, window,
                     [window, handler] { TApplication::RunHandler([window, handler] { (window->*handler)(); }); });
}

} // namespace

TFMain::TFMain(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FMain"));
    setWindowTitle(QStringLiteral("Quorlane"));
    setFixedSize(734, 661);
    setFont(QFont(FontFamily(), 9));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);

    PCMain = Named(new TPageControl(this), "PCMain");
    PCMain->setGeometry(rect());
    TSConnect = Named(new QWidget, "TSConnect");
    TSAccess = Named(new QWidget, "TSAccess");
    TSFirmware = Named(new QWidget, "TSFirmware");
    TSSetup = Named(new QWidget, "TSSetup");
    PCMain->addTab(TSConnect, QStringLiteral("  Connect  "));
    PCMain->addTab(TSAccess, QStringLiteral("  Access  "));
    PCMain->addTab(TSFirmware, QStringLiteral("  Firmware  "));
    PCMain->addTab(TSSetup, QStringLiteral("  Setup  "));
    BuildConnectPage();
    BuildAccessPage();
    BuildFirmwarePage();
    BuildSetupPage();

    SerialPort.SetPort("COM3");
    SerialPort.OnRxChar = [this](TSerialPort&, int count) { SerialPortRxChar(count); };
    SerialPort.OnPortLost = [this](TSerialPort&) { SerialPortLost(); };

    Wire(PCMain, &TPageControl::Change, this, &TFMain::PCMainChange);
    Wire(BComRefresh, &QPushButton::clicked, this, &TFMain::BComRefreshClick);
    Wire(CBComPort, &QComboBox::activated, this, &TFMain::CBComPortChange);
    Wire(BComConn, &QPushButton::clicked, this, &TFMain::BComConnClick);
    Wire(BComDisconn, &QPushButton::clicked, this, &TFMain::BComDisconnClick);
    Wire(BComInit, &QPushButton::clicked, this, &TFMain::BComInitClick);
    Wire(BSaveLog, &QPushButton::clicked, this, &TFMain::BSaveLogClick);
    LogMemoLines(MComEcho, "console");
    LogMemoLines(MFirmware, "firmware");
    Wire(PAccess, &TStatusPanel::Click, this, &TFMain::PAccessClick);
    Wire(BAccessSave, &QPushButton::clicked, this, &TFMain::BAccessSaveClick);
    Wire(BBack, &QPushButton::clicked, this, &TFMain::BBackClick);
    Wire(BHome, &QPushButton::clicked, this, &TFMain::BHomeClick);
    Wire(BRefresh, &QPushButton::clicked, this, &TFMain::BRefreshClick);
    Chromium->OnAddressChange = std::bind_front(&TFMain::ChromiumAddressChange, this);
    Chromium->OnGetAuthCredentials = std::bind_front(&TFMain::ChromiumGetAuthCredentials, this);
    Chromium->OnLoadStart = std::bind_front(&TFMain::ChromiumLoadStart, this);
    Wire(BUpload, &QPushButton::clicked, this, &TFMain::BUploadClick);
    Wire(BImageFile, &QPushButton::clicked, this, &TFMain::BImageFileClick);
    Wire(BBackup, &QPushButton::clicked, this, &TFMain::BBackupClick);
    SetPortSource({});

    FormCreate();
}

// The serial port is closed (and its wait thread stopped) while the controls its handlers touch still exist.
TFMain::~TFMain()
{
    SerialPort.OnRxChar = nullptr;
    SerialPort.OnPortLost = nullptr;
    Chromium->OnAddressChange = nullptr;
    Chromium->OnGetAuthCredentials = nullptr;
    Chromium->OnLoadStart = nullptr;
    // The port closes in its own destructor, which never throws (a vanished device cannot be closed cleanly).
}

// The controls are made in the order Tab visits them: port, its buttons, Save log..., the console.
void TFMain::BuildConnectPage()
{
    CBComPort = Named(new QComboBox(TSConnect), "CBComPort");
    CBComPort->setGeometry(12, 32, 168, 28);
    Label(TSConnect, "Board COM-port:", {12, 12}, CBComPort);
    BComRefresh = Button(TSConnect, "BComRefresh", "Refresh", {186, 32, 80, 28});
    Label(TSConnect, "Board operate:", {280, 12});
    BComConn = Button(TSConnect, "BComConn", "Connect", {280, 32, 88, 28});
    BComDisconn = Button(TSConnect, "BComDisconn", "Disconnect", {372, 32, 88, 28});
    BComInit = Button(TSConnect, "BComInit", "Initialize", {464, 32, 88, 28});
    BSaveLog = Button(TSConnect, "BSaveLog", "Save log...", {562, 32, 84, 28});
    PComState = Spoken(Named(new TStatusPanel(TSConnect), "PComState"), "Connection state");
    PComState->setGeometry(652, 10, 66, 52);
    // The console can be read and copied from the keyboard too; Tab leaves it.
    MComEcho = Spoken(Named(new TMemo(TSConnect), "MComEcho"), "Board console");
    MComEcho->setGeometry(8, 70, 710, 550);
}

// The controls are made in the order Tab visits them, top to bottom. The panel is a button too: Space or Enter
// copies the board's address into the network fields, as a click does.
void TFMain::BuildAccessPage()
{
    PAccess = Spoken(Named(new TStatusPanel(TSAccess), "PAccess"), "Board access");
    PAccess->setGeometry(8, 8, 710, 40);
    PAccess->MakeClickable();

    auto* wifi = Group(TSAccess, "Wi-Fi access", {8, 56, 710, 96});
    CBSsid = Named(new QComboBox(wifi), "CBSsid");
    CBSsid->setEditable(true);
    // The list holds only the networks the board reported: Enter must not add the typed text to it.
    CBSsid->setInsertPolicy(QComboBox::NoInsert);
    CBSsid->setGeometry(120, 26, 570, 26);
    Label(wifi, "SSID ", {16, 30}, CBSsid);
    EWFPass = Edit(wifi, "EWFPass", "Password ", 1, "Wi-Fi password");

    auto* network = Group(TSAccess, "Network (leave blank for auto)", {8, 160, 710, 128});
    ENetIp = Edit(network, "ENetIp", "IP", 0, "IP");
    ENetGate = Edit(network, "ENetGate", "Gateway", 1, "Gateway");
    ENetMask = Edit(network, "ENetMask", "Netmask", 2, "Netmask");
    for (QLineEdit* automatic : {ENetIp, ENetGate, ENetMask}) {
        automatic->setAccessibleDescription(QStringLiteral("Leave blank for auto"));
    }

    auto* system = Group(TSAccess, "Board system", {8, 296, 710, 96});
    EBoardName = Edit(system, "EBoardName", "Name", 0, "Board name");
    EBoardPass = Edit(system, "EBoardPass", "Password ", 1, "Board password");

    auto* hotspot = Group(TSAccess, "Board hotspot", {8, 400, 710, 96});
    EInitSsid = Edit(hotspot, "EInitSsid", "SSID", 0, "Hotspot SSID");
    EInitPass = Edit(hotspot, "EInitPass", "Password ", 1, "Hotspot password");

    BAccessSave = Button(TSAccess, "BAccessSave", "Save", {8, 508, 710, 36});

    // Passwords are masked on screen unless the user asks to see them.
    for (QLineEdit* password : PasswordEdits()) {
        password->setEchoMode(QLineEdit::Password);
    }
    BShowPasswords = Button(TSAccess, "BShowPasswords", "Show passwords", {8, 552, 160, 28});
    BShowPasswords->setCheckable(true);
    QObject::connect(BShowPasswords, &QPushButton::toggled, this, [this](bool shown) {
        for (QLineEdit* password : PasswordEdits()) {
            password->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        }
    });

    // How long REBOOT holds the board in reset (fmainaccess.cpp).
    FRebootPulse = Named(new QTimer(this), "RebootPulse");
    FRebootPulse->setSingleShot(true);
    FRebootPulse->setInterval(500);
    QObject::connect(FRebootPulse, &QTimer::timeout, this, [this] { EndRebootPulse(); });
}

QList<QLineEdit*> TFMain::PasswordEdits() const
{
    return {EWFPass, EBoardPass, EInitPass};
}

void TFMain::BuildFirmwarePage()
{
    auto* firmware = Group(TSFirmware, "Firmware", {8, 8, 710, 150});
    CBProject = Named(new QComboBox(firmware), "CBProject");
    CBProject->setGeometry(80, 28, 505, 26);
    Label(firmware, "Project", {16, 32}, CBProject);
    BUpload = Button(firmware, "BUpload", "Upload", {598, 27, 96, 28});

    CBRate = Named(new QComboBox(firmware), "CBRate");
    CBRate->setGeometry(80, 62, 110, 26);
    for (int rate : FlashRates) {
        CBRate->addItem(QString::number(rate), rate);
    }
    Label(firmware, "Rate", {16, 66}, CBRate);
    RBKeepSettings = Named(new QRadioButton(QStringLiteral("Keep the board's settings"), firmware), "RBKeepSettings");
    RBKeepSettings->setGeometry(206, 62, 200, 26);
    RBKeepSettings->setChecked(true);
    RBEraseAll = Named(new QRadioButton(QStringLiteral("Erase the whole flash first"), firmware), "RBEraseAll");
    RBEraseAll->setGeometry(410, 62, 184, 26);
    BImageFile = Button(firmware, "BImageFile", "Image file...", {598, 61, 96, 28});

    PB = Spoken(Named(new TQProgressBar(firmware), "PB"), "Progress");
    PB->move(16, 103);
    BBackup = Button(firmware, "BBackup", "Back up...", {598, 95, 96, 28});
    LRemaining = Named(new QLabel(firmware), "LRemaining");
    LRemaining->setGeometry(16, 121, 400, 20);
    MFirmware = Spoken(Named(new TMemo(TSFirmware), "MFirmware"), "Firmware log");
    MFirmware->setGeometry(8, 166, 710, 454);

    // The rate chosen last time, the default until there is one.
    const int rate = UserSettings()->value(QStringLiteral("FlashRate"), DefaultFlashRate).toInt();
    CBRate->setCurrentIndex(std::max(0, CBRate->findData(rate)));
    connect(CBRate, &QComboBox::activated, this,
            [this] { UserSettings()->setValue(QStringLiteral("FlashRate"), CBRate->currentData()); });
}

void TFMain::FormCreate()
{
    const TProgramVersion version = GetProgramVersion();
    setWindowTitle(
        QStringLiteral("%1 %2.%3.%4").arg(windowTitle()).arg(version.Major).arg(version.Minor).arg(version.Release));
    CBComPort->clear();
    MComEcho->clear();
    MFirmware->clear();
    PCMain->SetTabShown(TSFirmware, false);
    PCMain->SetTabShown(TSSetup, false);
    AAccessResetExecute();
}

void TFMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!FShown) {
        FShown = true;
        move(screen()->availableGeometry().center() - rect().center());
        FormShow();
    }
}

void TFMain::FormShow()
{
    PCMain->SetActivePage(TSConnect);
    BComRefreshClick();
    // A catalogue address that is not https:// is refused at once, not only when the Firmware page asks for it.
    const TCatalogueAddress catalogue = CatalogueAddressFrom(std::getenv(CatalogueAddressVariable));
    if (!catalogue.Error.empty()) {
        QTimer::singleShot(0, this,
                           [error = catalogue.Error] { TApplication::ShowException(std::runtime_error(error)); });
    }
}

void TFMain::PCMainChange()
{
    if (PCMain->currentWidget() == TSSetup) {
        ShowBoardPage();
    }
    if (PCMain->currentWidget() == TSFirmware) {
        AGetFirmwareListExecute();
    }
}

// Asks for a file in a dialog of the program's own (not the desktop's, so that it looks alike everywhere and tests can
// answer it by its name), made for the one question: a hidden dialog would go on watching its folder. It starts in
// the folder the user took last time for this question, with the suggested name; the path chosen, or empty when the
// user called it off.
std::string TFMain::AskFile(const TFileQuestion& question, const QString& suggested)
{
    QFileDialog dialog(this, QLatin1String(question.Caption));
    dialog.setObjectName(QLatin1String(question.Name));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(question.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(question.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters({QLatin1String(question.Filter), QStringLiteral("All files (*)")});
    const QString key = QLatin1String(question.FolderKey);
    dialog.setDirectory(UserSettings()->value(key, QDir::homePath()).toString());
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    UserSettings()->setValue(key, QFileInfo(chosen).absolutePath());
    return QFile::encodeName(chosen).toStdString();
}

void TFMain::AAccessResetExecute()
{
    PAccess->SetState(QStringLiteral("NOT READY, CONNECT FIRST"), PanelColor::Gray);
    CBSsid->clear();
    CBSsid->clearEditText();
    CBSsid->setEnabled(false);
    for (QLineEdit* edit : {EWFPass, ENetIp, ENetGate, ENetMask, EBoardName, EBoardPass, EInitSsid, EInitPass}) {
        edit->clear();
        edit->setEnabled(false);
    }
    BAccessSave->setEnabled(false);
    BShowPasswords->setChecked(false);
    PCMain->SetTabShown(TSFirmware, false);
    PCMain->SetTabShown(TSSetup, false);
    QCoreApplication::processEvents();
}

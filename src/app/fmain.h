#pragma once

#include "boardconsole.h"
#include "boardmessage.h"
#include "consoletoolrunner.h"
#include "credentialpolicy.h"
#include "firmwarecatalogue.h"
#include "flashrun.h"
#include "flashtool.h"
#include "listcomports.h"
#include "serialport.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QMessageBox;
class QPushButton;
class QSocketNotifier;
class QTimer;
class TPortWatch;
class TMemo;
class TPageControl;
class TQProgressBar;
class TStatusPanel;
class QWebEnginePage;
class TAuthCallback;
class TChromium;
struct TFrame;

namespace quorlane::net {
class TBlockSocket;
class THTTPSend;
struct TProxyChoice;
enum THookSocketReason : std::uint8_t;
} // namespace quorlane::net

// The program's only window: four pages (Connect, Access, Firmware, Setup), two status panels, the progress bar and
// the serial port. Each control carries its name as object name. The handlers of each page live in their own file:
//   fmain.cpp          start-up, page change, access reset
//   fmainconsole.cpp   Connect page: refresh, port change, connect, disconnect, the board's console
//   fmainsavelog.cpp   Connect page: Save log...
//   fmainaccess.cpp    board messages and the Access page: HandleBoardMessage, Save, PAccess click
//   fmainsetup.cpp     Setup page: the board's web page, Refresh, the browser's address and sign-in
//   fmainflash.cpp     Initialize and the firmware flashing step
//   fmainfirmware.cpp  Firmware page: catalogue, download, Upload
// Further page handlers go into a file of their own (the Setup page's into fmainsetup.cpp) and are wired in the
// constructor with one line each; PCMainChange calls the page handlers that exist.
class TFMain : public QWidget
{
    Q_OBJECT

public:
    explicit TFMain(QWidget* parent = nullptr);
    ~TFMain() override;

    // Connect page
    void BComRefreshClick();
    void CBComPortChange();
    void BComConnClick();
    void BComDisconnClick();
    void SerialPortRxChar(int count);
    void SerialPortLost();
    // Copies the session log to a file the user picks (fmainsavelog.cpp).
    void BSaveLogClick();
    // The device path of the selected port (what is opened and handed to the flashing tool); empty when none is.
    std::string SelectedPort() const;
    // The port list's entries hold the device path as their data, and the adapter's id (TComPort) under this role.
    static constexpr int AdapterIdRole = Qt::UserRole + 1;
    // Where the port list comes from and which device directory it follows as cables come and go. The window uses
    // the system's; tests point it at a stand-in tree.
    void SetPortSource(const TPortSource& source);

    // Access page and board messages
    void HandleBoardMessage(const std::string& text);
    void BAccessSaveClick();
    void PAccessClick();

    // Firmware page (fmainfirmware.cpp; Back up in fmainbackup.cpp)
    void AGetFirmwareListExecute();
    void BUploadClick();
    void BImageFileClick();
    void BBackupClick();
    std::int64_t GetDownloadSize(const std::string& address);
    void DownloadSockStatus(quorlane::net::TBlockSocket* sender, quorlane::net::THookSocketReason reason,
                            const std::string& value);

    // Initialize and the firmware flashing step (fmainflash.cpp)
    void BComInitClick();
    // The firmware flashing step: writes the image file onto the board at port at the chosen rate, erasing the whole
    // flash first when the user chose that, and once more at the safe rate when the adapter did not keep up (closes
    // only the port, shows the tool's output in MFirmware and its progress in PB, then adds "Upload firmware done!"
    // or a line that says why not); returns when the tool has ended, with how it ended.
    TFlashRun FlashFirmware(const std::string& image, const std::string& port);
    TToolResult RunConsoleTool(const std::string& command, TMemo* memo, const std::string& directory,
                               std::string& output);
    // Stops a running flash (its download or its tool) and closes the window once it has ended; without one the
    // window closes at once. Closing the window during a flash asks first; SIGINT, SIGTERM and SIGHUP come here.
    void StopAndQuit();

    // Setup page
    void BBackClick();
    void BHomeClick();
    void BRefreshClick();
    void ChromiumAddressChange(TChromium* sender, QWebEnginePage* browser, const TFrame& frame, const QString& url);
    void ChromiumGetAuthCredentials(TChromium* sender, QWebEnginePage* browser, const TFrame& frame, bool isProxy,
                                    const QString& host, int port, const QString& realm, const QString& scheme,
                                    TAuthCallback& callback, bool& result);
    void ChromiumLoadStart(TChromium* sender, QWebEnginePage* browser, const TFrame& frame);

    // Window
    void PCMainChange();
    void AAccessResetExecute();

    TPageControl* PCMain;
    QWidget* TSConnect;
    QWidget* TSAccess;
    QWidget* TSFirmware;
    QWidget* TSSetup;

    QComboBox* CBComPort;
    QPushButton* BComRefresh;
    QPushButton* BComConn;
    QPushButton* BComDisconn;
    QPushButton* BComInit;
    QPushButton* BSaveLog;
    TStatusPanel* PComState;
    TMemo* MComEcho;

    TStatusPanel* PAccess;
    QComboBox* CBSsid;
    QLineEdit* EWFPass;
    QLineEdit* ENetIp;
    QLineEdit* ENetGate;
    QLineEdit* ENetMask;
    QLineEdit* EBoardName;
    QLineEdit* EBoardPass;
    QLineEdit* EInitSsid;
    QLineEdit* EInitPass;
    QPushButton* BAccessSave;
    QPushButton* BShowPasswords;

    QComboBox* CBProject;
    QPushButton* BUpload;
    QComboBox* CBRate;
    QRadioButton* RBKeepSettings;
    QRadioButton* RBEraseAll;
    QPushButton* BImageFile;
    QPushButton* BBackup;
    TQProgressBar* PB;
    QLabel* LRemaining;
    TMemo* MFirmware;

    QLineEdit* EUrl;
    QPushButton* BBack;
    QPushButton* BHome;
    QPushButton* BRefresh;
    TChromium* Chromium;

    TSerialPort SerialPort;
    TBoardConsole Console;
    // The flashing tool, asked who it is once.
    TFlashToolFinder FlashTools{[this](const std::string& command) { return AskFlashTool(command); }};
    // The catalogue's entries in the order of CBProject's list.
    std::vector<TCatalogueEntry> CatalogueEntries;
    // The download's byte counter and the board password last taken from EBoardPass (used to sign in to the
    // board's web page).
    std::int64_t DownloadedBytes = 0;
    std::string BoardPassword;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void BuildConnectPage();
    void BuildAccessPage();
    void BuildFirmwarePage();
    void BuildSetupPage();
    void FillPortList();
    void PortsChanged();
    void ShowBoardPage();
    void ConnectBoard(bool clearConsole, const QString& firstLine = {});
    // A flow whose button reads Cancel while it runs: the catalogue's fetch, and the flows that hold the board's port
    // from the press of their button to their end: Upload (the download and the tool), Image file... (the user's
    // own image), Back up... and Initialize.
    enum class TFlow { None, Catalogue, Upload, OwnImage, Backup, Initialize };
    class TFlowScope;
    bool MayStart(TFlow flow);
    // The controls a flow that holds the port takes out of the user's reach, but for the flow's own button.
    QList<QWidget*> PinnedControls(QPushButton* own) const;
    void RunPortFlow(TFlow flow, QPushButton* button, const std::string& port,
                     const std::function<std::optional<std::string>()>& body);
    void FlashImageFile(const std::string& path, const std::string& port);
    // What Image file..., Back up... and Save log... ask for: the dialog's object name, its caption, whether a file is
    // saved or opened, the files it offers, and the settings key of the folder taken last.
    struct TFileQuestion
    {
        const char* Name;
        const char* Caption;
        bool Save;
        const char* Filter;
        const char* FolderKey;
    };
    std::string AskFile(const TFileQuestion& question, const QString& suggested = {});
    std::optional<std::string> BackUpFlash(const std::string& target, const std::string& port);
    void ShowBackupAbility();
    TFlashRun RunAtChosenRate(const std::string& port, const char* failed,
                              const std::function<std::string(const TFlashTool&, int rate)>& commandFor);
    std::string AdapterOf(const std::string& port) const;
    void ShowRemaining(int percent);
    quorlane::net::TProxyChoice PrepareRequest(quorlane::net::THTTPSend& http, const std::string& url,
                                               std::chrono::milliseconds deadline, std::int64_t maxBody);
    std::optional<TFlashRun> UploadFirmware(const TCatalogueEntry& entry, const std::string& port);
    void PinPort(const std::string& port);
    bool PinnedPortPresent(const std::string& port) const;
    void ReconnectAfterFlash(const std::string& port, const QString& outcome);
    void EndFlashFlow();
    TFlashRun RunFlashingTool(TMemo* memo, const std::string& port,
                              const std::function<std::string(const TFlashTool&)>& commandFor);
    std::optional<std::string> AskFlashTool(const std::string& command);
    TToolRunLimits FlowLimits(std::chrono::milliseconds timeLimit = {});
    std::string BoardPasswordNow();
    void ShowConsoleLines();
    void ApplyInit(const TBoardMessage& message);
    void ApplyAccess(const TBoardMessage& message);
    void RebootBoard();
    void EndRebootPulse();
    QList<QWidget*> AccessControls() const;
    QList<QLineEdit*> PasswordEdits() const;
    QString AccessFieldText(TAccessField field) const;
    void SetAccessField(TAccessField field, const QString& text);

    // Which requests for credentials may receive the board password.
    TCredentialPolicy Credentials;
    QStringList FPendingLines;
    bool FShown = false;
    TFlow FFlow = TFlow::None;
    // The user pressed Cancel (or asked to quit) while the flow ran.
    bool FCancelRequested = false;
    bool FQuitAfterFlow = false;
    QPointer<QMessageBox> FStopQuestion;
    // The port the last flow held and its adapter; Lost when it went away during the flow (its device may have come
    // back under the same name, or another adapter with it), which stays known until the next flow pins a port.
    struct TPinnedPort
    {
        std::string Port;
        std::string Adapter;
        bool Lost = false;
    } FPinned;
    // When the tool's progress first moved and from where, for the time it has left.
    std::optional<std::pair<std::chrono::steady_clock::time_point, int>> FProgressSince;
    TPortSource FPortSource;
    std::unique_ptr<TPortWatch> FPortWatch;
    std::unique_ptr<QSocketNotifier> FPortNotifier;
    // REBOOT's reset pulse: DTR stays low until this timer runs out, on the port's opening it began on.
    QTimer* FRebootPulse = nullptr;
    unsigned FRebootOpening = 0;
};

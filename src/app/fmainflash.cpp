// Initialize and the firmware flashing step: the flashing tool writes an image onto the board while the program
// leaves the port to it. A flash flow holds the port the user chose from the press of its button to its end, and
// its button becomes Cancel meanwhile.

#include "fmain.h"

#include "filelocations.h"
#include "firmwarecatalogue.h"
#include "flashcommands.h"
#include "flowscope.h"
#include "imagefile.h"
#include "memo.h"
#include "memoconsole.h"
#include "ownimage.h"
#include "pagecontrol.h"
#include "programdirectory.h"
#include "progressbar.h"
#include "sessionlogentries.h"
#include "settings.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QUrl>

#include <cstdlib>
#include <filesystem>

namespace {

QString Text(const std::string& text)
{
    return QString::fromUtf8(text);
}

// A run that failed before the tool started.
TFlashRun FailedRun(const std::string& failure)
{
    TFlashRun run;
    run.Failure = failure;
    return run;
}

} // namespace

void TFMain::BComInitClick()
{
    if (!MayStart(TFlow::Initialize) || CBComPort->currentIndex() < 0) {
        return;
    }
    MComEcho->clear();
    MComEcho->AddLine(QStringLiteral("Prepare initializer..."));
    const std::vector<std::string> searched = InitImageDirectories();
    const std::string image = FindInitImage(searched);
    if (image.empty()) {
        for (const std::string& line : InitImageMissingLines(searched)) {
            MComEcho->AddLine(Text(line));
        }
        return;
    }
    const std::string port = SelectedPort();
    {
        const TFlowScope flow(*this, TFlow::Initialize, BComInit, PinnedControls(BComInit), port);
        QThread::msleep(200);
        QCoreApplication::processEvents();
        BComDisconnClick();
        const TFlashRun run = RunFlashingTool(
            MComEcho, port, [&](const TFlashTool& tool) { return InitializeCommand(tool, port, image); });
        if (run.End == TFlashRun::Failed) {
            MComEcho->AddLine(Text("Initialize failed: " + run.Failure));
        } else if (run.End == TFlashRun::Cancelled) {
            MComEcho->AddLine(QString::fromLatin1(InitializeCancelledText));
        }
    }
    // The console keeps what the tool said; the freshly written board's start follows below it.
    ReconnectAfterFlash(port, {});
    EndFlashFlow();
}

TFlashRun TFMain::FlashFirmware(const std::string& image, const std::string& port)
{
    // From here on the bar follows the tool's progress instead of the download's.
    PB->SetMaximum(100);
    PB->SetPosition(0);
    QCoreApplication::processEvents();
    // Only the port is closed: the status panel, the Access page and the tabs stay as they are.
    SerialPort.ClosePort();
    // A flow pinned the port when it started; a flashing step called alone pins it now.
    if (FPinned.Port != port) {
        PinPort(port);
    }
    const bool eraseAll = RBEraseAll->isChecked();
    MFirmware->AddLine(eraseAll
                           ? QStringLiteral("Erasing the whole flash first: the board's settings go too.")
                           : QStringLiteral("Keeping the board's settings: only the image's sectors are written."));
    // An image this adapter's board got last time is likely still there; a tool that can tell then writes nothing.
    const QString adapterImage = QStringLiteral("AdapterImages/") + Text(AdapterOf(port));
    QString sha;
    try {
        sha = QString::fromStdString(Sha256Hex(ReadImageFile(image)));
    } catch (const std::runtime_error&) {
        // The tool says why it cannot read the image.
    }
    const bool unchanged = !eraseAll && !sha.isEmpty() && UserSettings()->value(adapterImage).toString() == sha;
    const TFlashRun run = RunAtChosenRate(port, "Upload firmware", [&](const TFlashTool& tool, int rate) {
        return FirmwareCommand(tool, port, image, {rate, eraseAll, unchanged});
    });
    switch (run.End) {
    case TFlashRun::Done:
        UserSettings()->setValue(adapterImage, sha);
        MFirmware->AddLine(QStringLiteral("Upload firmware done!"));
        break;
    case TFlashRun::Cancelled:
        MFirmware->AddLine(QString::fromLatin1(UploadCancelledText));
        break;
    case TFlashRun::Failed:
        MFirmware->AddLine(Text("Upload firmware failed: " + run.Failure));
        break;
    }
    return run;
}

// Runs the tool at the rate the user chose, or slower when this adapter kept up only with a slower one before. When
// a faster run fails, the adapter may not have kept up: the tool runs once more at the rate every adapter keeps up
// with. The adapter's rate that worked is kept for next time.
TFlashRun TFMain::RunAtChosenRate(const std::string& port, const char* failed,
                                  const std::function<std::string(const TFlashTool&, int rate)>& commandFor)
{
    const QString adapterRate = QStringLiteral("AdapterRates/") + Text(AdapterOf(port));
    const int chosen = CBRate->currentData().toInt();
    const int known = UserSettings()->value(adapterRate, 0).toInt();
    int rate = known > 0 ? std::min(chosen, known) : chosen;
    MFirmware->AddLine(rate < chosen ? QStringLiteral("Rate: %1 baud, the fastest this adapter kept up with").arg(rate)
                                     : QStringLiteral("Rate: %1 baud").arg(rate));
    const auto runAt = [&] {
        return RunFlashingTool(MFirmware, port, [&](const TFlashTool& tool) { return commandFor(tool, rate); });
    };
    TFlashRun run = runAt();
    bool slowedDown = false;
    if (run.End == TFlashRun::Failed && run.Ran && rate > SafeFlashRate) {
        MFirmware->AddLine(Text(std::string(failed) + " failed at " + std::to_string(rate) + " baud: " + run.Failure));
        MFirmware->AddLine(Text(RateFallbackText(rate, SafeFlashRate)));
        rate = SafeFlashRate;
        slowedDown = true;
        run = runAt();
    }
    if (run.End == TFlashRun::Done) {
        UserSettings()->setValue(adapterRate, slowedDown ? rate : std::max(rate, known));
    }
    return run;
}

// What tells the port's adapter from others: its USB serial number or ids, or the port itself for one that is no USB
// adapter (a built-in UART, a pseudo-terminal).
std::string TFMain::AdapterOf(const std::string& port) const
{
    const QString id = CBComPort->itemData(CBComPort->findData(Text(port)), AdapterIdRole).toString();
    const QString key = id.isEmpty() ? "port:" + Text(port) : id;
    // A key of the settings file, where a slash would start a group.
    return QUrl::toPercentEncoding(key).toStdString();
}

// The time the tool has left, from the pace of its progress since it first moved.
void TFMain::ShowRemaining(int percent)
{
    const auto now = std::chrono::steady_clock::now();
    if (!FProgressSince || percent <= FProgressSince->second || percent >= 100) {
        FProgressSince = std::pair(now, percent);
        LRemaining->clear();
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - FProgressSince->first);
    const auto left = elapsed * (100 - percent) / (percent - FProgressSince->second);
    LRemaining->setText(
        QStringLiteral("About %1:%2 left").arg(left.count() / 60).arg(left.count() % 60, 2, 10, QLatin1Char('0')));
}

void TFMain::PinPort(const std::string& port)
{
    FPinned = {port, port.empty() ? std::string() : AdapterOf(port), false};
}

// The pinned port is still there: it never went away during the flow, it is listed with the same adapter, and its
// device is present.
bool TFMain::PinnedPortPresent(const std::string& port) const
{
    std::error_code error;
    return !FPinned.Lost && CBComPort->findData(Text(port)) >= 0 && AdapterOf(port) == FPinned.Adapter &&
           std::filesystem::exists(port, error);
}

// The port goes to the tool only while it is the one the user chose and it is still there; nothing else can open,
// reset or write it meanwhile.
TFlashRun TFMain::RunFlashingTool(TMemo* memo, const std::string& port,
                                  const std::function<std::string(const TFlashTool&)>& commandFor)
{
    if (!PinnedPortPresent(port)) {
        return FailedRun(PortGoneText(port));
    }
    const std::vector<std::string> directories = FlashToolDirectories(ProgramDirectory(), std::getenv("PATH"));
    std::optional<TFlashTool> tool;
    try {
        tool = FlashTools.Find(directories);
    } catch (const std::exception& silent) {
        TFlashRun run = FailedRun(silent.what());
        run.End = FCancelRequested ? TFlashRun::Cancelled : TFlashRun::Failed;
        return run;
    }
    if (!tool) {
        memo->AddLine(Text(MissingFlashToolText(directories)));
        return FailedRun("no flashing tool was found");
    }
    memo->AddLine(Text(FlashToolLine(*tool)));
    std::string output;
    const TToolResult result = RunConsoleTool(commandFor(*tool), memo, PrivateDirectory(), output);
    TFlashRun run;
    run.Tool = tool->Identity.empty() ? tool->Path : tool->Identity;
    run.Ran = result.End != TToolEnd::NotStarted;
    if (result.End == TToolEnd::Cancelled) {
        run.End = TFlashRun::Cancelled;
    } else if (result.End == TToolEnd::NotStarted) {
        run.Failure = "the flashing tool could not be started";
    } else if (result.Status != 0) {
        run.Failure = "the flashing tool ended with exit status " + std::to_string(result.Status);
    } else {
        run.End = TFlashRun::Done;
        run.Verified = ToolVerifiedWrite(output);
    }
    return run;
}

TToolResult TFMain::RunConsoleTool(const std::string& command, TMemo* memo, const std::string& directory,
                                   std::string& output)
{
    // Only the Firmware page has a bar for the tool's progress, and the time it has left.
    FProgressSince.reset();
    TMemoConsole console(memo, [this, memo](int percent) {
        if (memo == MFirmware) {
            PB->SetPosition(percent);
            ShowRemaining(percent);
        }
    });
    TToolLog logged(command, console);
    const TToolResult result = logged.Ended(::RunConsoleTool(command, logged, directory, output, FlowLimits()));
    LRemaining->clear();
    return result;
}

// What a flow's tool runs are held to: Cancel stops them, and so does a quit.
TToolRunLimits TFMain::FlowLimits(std::chrono::milliseconds timeLimit)
{
    return {[this] { return FCancelRequested; }, timeLimit};
}

// Asks a tool who it is without showing its answer, for a short time; the window stays usable meanwhile.
std::optional<std::string> TFMain::AskFlashTool(const std::string& command)
{
    struct TSilentMemo : IConsoleMemo
    {
        void ShowLines(std::size_t, std::span<const std::string>) override {}
        void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
    } silent;
    std::string output;
    TToolLog logged(command, silent);
    const TToolResult result =
        logged.Ended(::RunConsoleTool(command, logged, ProgramDirectory(), output, FlowLimits(IdentityTimeLimit)));
    if (result.End != TToolEnd::Exited) {
        return std::nullopt;
    }
    return output;
}

// The flows that hold the port take the port list and what opens, resets or chooses a port out of the user's reach,
// and the other flows' buttons.
QList<QWidget*> TFMain::PinnedControls(QPushButton* own) const
{
    QList<QWidget*> pinned{CBComPort, BComRefresh, BComConn, BComDisconn};
    for (QPushButton* flow : {BComInit, BUpload, BImageFile, BBackup}) {
        if (flow != own) {
            pinned.append(flow);
        }
    }
    return pinned;
}

// After the tool ran the board is connected again on the port the flow pinned, so that the console shows it start;
// outcome, when given, becomes the console's first line. A port that is gone is not replaced by another.
void TFMain::ReconnectAfterFlash(const std::string& port, const QString& outcome)
{
    if (FQuitAfterFlow) {
        return;
    }
    if (!PinnedPortPresent(port)) {
        if (!outcome.isEmpty()) {
            MComEcho->clear();
            MComEcho->AddLine(outcome);
        }
        return;
    }
    CBComPort->setCurrentIndex(CBComPort->findData(Text(port)));
    ConnectBoard(!outcome.isEmpty(), outcome);
}

// A flow's button is its Cancel while the flow runs, and does nothing while another one runs. True when the flow may
// start.
bool TFMain::MayStart(TFlow flow)
{
    if (FFlow == flow) {
        FCancelRequested = true;
        return false;
    }
    return FFlow == TFlow::None;
}

void TFMain::EndFlashFlow()
{
    if (FQuitAfterFlow) {
        close();
    }
}

void TFMain::StopAndQuit()
{
    if (FFlow == TFlow::None) {
        FQuitAfterFlow = false;
        close();
        return;
    }
    FCancelRequested = true;
    FQuitAfterFlow = true;
}

// The question does not block: the flash goes on while it is asked, and a tool whose output were not read would
// stall with the board waiting.
void TFMain::closeEvent(QCloseEvent* event)
{
    if (FFlow == TFlow::None) {
        event->accept();
        return;
    }
    event->ignore();
    // A catalogue fetch is stopped without a question: nothing is written anywhere.
    if (FFlow == TFlow::Catalogue) {
        StopAndQuit();
        return;
    }
    if (FQuitAfterFlow || FStopQuestion) {
        return;
    }
    auto* question =
        new QMessageBox(QMessageBox::Question, QStringLiteral("Quorlane"),
                        QStringLiteral("A flash is in progress. Stop it and quit?"), QMessageBox::NoButton, this);
    question->setObjectName(QStringLiteral("StopFlashQuestion"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* stop = question->addButton(QStringLiteral("Stop and quit"), QMessageBox::AcceptRole);
    QPushButton* keep = question->addButton(QStringLiteral("Keep flashing"), QMessageBox::RejectRole);
    question->setDefaultButton(keep);
    question->setEscapeButton(keep);
    connect(question, &QMessageBox::buttonClicked, this, [this, stop](QAbstractButton* clicked) {
        if (clicked == stop) {
            StopAndQuit();
        }
    });
    FStopQuestion = question;
    question->open();
}

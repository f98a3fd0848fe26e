// Initialize and the firmware flashing step: the flashing tool writes an image onto the board while the program
// leaves the port to it. A flash flow holds the port the user chose from the press of its button to its end, and
// its button becomes Cancel meanwhile.

#include "fmain.h"

#include "filelocations.h"
#include "flowscope.h"
#include "flashcommands.h"
#include "imagefile.h"
#include "memo.h"
#include "memoconsole.h"
#include "pagecontrol.h"
#include "programdirectory.h"
#include "progressbar.h"
#include "sessionlogentries.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <cstdlib>
#include <filesystem>

namespace {

QString Text(const std::string& text)
{
    return QString::fromUtf8(text);
}

} // namespace

void TFMain::BComInitClick()
{
    if (FFlow == TFlow::Initialize) {
        FCancelRequested = true;
        return;
    }
    if (FFlow != TFlow::None || CBComPort->currentIndex() < 0) {
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
        const TFlowScope flow(*this, TFlow::Initialize, BComInit,
                                   {CBComPort, BComRefresh, BComConn, BComDisconn, BUpload});
        QThread::msleep(200);
        QCoreApplication::processEvents();
        BComDisconnClick();
        const TFlashRun run = RunFlashingTool(MComEcho, port, [&](const TFlashTool& tool) {
            return InitializeCommand(tool, port, image);
        });
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
    const TFlashRun run = RunFlashingTool(MFirmware, port, [&](const TFlashTool& tool) {
        return FirmwareCommand(tool, port, image);
    });
    switch (run.End) {
    case TFlashRun::Done:
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

// The port is still there: listed, and its device present.
bool TFMain::PortPresent(const std::string& port) const
{
    std::error_code error;
    return CBComPort->findData(Text(port)) >= 0 && std::filesystem::exists(port, error);
}

// The port goes to the tool only while it is the one the user chose and it is still there; nothing else can open,
// reset or write it meanwhile.
TFlashRun TFMain::RunFlashingTool(TMemo* memo, const std::string& port,
                                  const std::function<std::string(const TFlashTool&)>& commandFor)
{
    if (!PortPresent(port)) {
        return {TFlashRun::Failed, PortGoneText(port), {}};
    }
    const std::vector<std::string> directories = FlashToolDirectories(ProgramDirectory(), std::getenv("PATH"));
    std::optional<TFlashTool> tool;
    try {
        tool = FlashTools.Find(directories);
    } catch (const std::exception& silent) {
        return {FCancelRequested ? TFlashRun::Cancelled : TFlashRun::Failed, silent.what(), {}};
    }
    if (!tool) {
        memo->AddLine(Text(MissingFlashToolText(directories)));
        return {TFlashRun::Failed, "no flashing tool was found", {}};
    }
    memo->AddLine(Text(FlashToolLine(*tool)));
    std::string output;
    const TToolResult result = RunConsoleTool(commandFor(*tool), memo, PrivateDirectory(), output);
    const std::string name = tool->Identity.empty() ? tool->Path : tool->Identity;
    switch (result.End) {
    case TToolEnd::Cancelled:
        return {TFlashRun::Cancelled, {}, name};
    case TToolEnd::NotStarted:
        return {TFlashRun::Failed, "the flashing tool could not be started", name};
    case TToolEnd::Exited:
    case TToolEnd::TimedOut:
        break;
    }
    if (result.Status != 0) {
        return {TFlashRun::Failed, "the flashing tool ended with exit status " + std::to_string(result.Status), name};
    }
    return {TFlashRun::Done, {}, name, ToolVerifiedWrite(output)};
}

TToolResult TFMain::RunConsoleTool(const std::string& command, TMemo* memo, const std::string& directory,
                                   std::string& output)
{
    // Only the Firmware page has a bar for the tool's progress.
    TMemoConsole console(memo, [this, memo](int percent) {
        if (memo == MFirmware) {
            PB->SetPosition(percent);
        }
    });
    TToolLog logged(command, console);
    return logged.Ended(::RunConsoleTool(command, logged, directory, output, FlowLimits()));
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
    const TToolResult result = logged.Ended(::RunConsoleTool(command, logged, ProgramDirectory(), output,
                                                             FlowLimits(IdentityTimeLimit)));
    if (result.End != TToolEnd::Exited) {
        return std::nullopt;
    }
    return output;
}

// After the tool ran the board is connected again on the port the flow pinned, so that the console shows it start;
// outcome, when given, becomes the console's first line. A port that is gone is not replaced by another.
void TFMain::ReconnectAfterFlash(const std::string& port, const QString& outcome)
{
    if (FQuitAfterFlow) {
        return;
    }
    if (!PortPresent(port)) {
        if (!outcome.isEmpty()) {
            MComEcho->clear();
            MComEcho->AddLine(outcome);
        }
        return;
    }
    CBComPort->setCurrentIndex(CBComPort->findData(Text(port)));
    ConnectBoard(!outcome.isEmpty(), outcome);
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
    auto* question = new QMessageBox(QMessageBox::Question, QStringLiteral("Quorlane"),
                                     QStringLiteral("A flash is in progress. Stop it and quit?"),
                                     QMessageBox::NoButton, this);
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

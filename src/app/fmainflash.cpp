// Initialize and the firmware flashing step: the flashing tool writes an image onto the board while the program
// leaves the port to it.

#include "fmain.h"

#include "consoletoolrunner.h"
#include "disabledcontrols.h"
#include "filelocations.h"
#include "firmwarefile.h"
#include "flashcommands.h"
#include "memo.h"
#include "memoconsole.h"
#include "pagecontrol.h"
#include "programdirectory.h"
#include "progressbar.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QThread>

#include <cstdlib>

namespace {

QString Text(const std::string& text)
{
    return QString::fromUtf8(text);
}

} // namespace

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
            MComEcho->AddLine(Text(line));
        }
        return;
    }
    {
        const TDisabledControls disabled({CBComPort, BComRefresh, BComConn, BComDisconn, BComInit});
        QThread::msleep(200);
        QCoreApplication::processEvents();
        BComDisconnClick();
        const std::string port = SelectedPort();
        const std::string directory = WorkDirectory();
        const std::string failure =
            RunFlashingTool(MComEcho, directory, [&](const TFlashTool& tool) {
                return InitializeCommand(tool, port, ImageArgument(image, directory));
            });
        if (!failure.empty()) {
            MComEcho->AddLine(Text("Initialize failed: " + failure));
        }
    }
    // The console keeps what the tool said; the freshly written board's start follows below it.
    ConnectBoard(false);
}

bool TFMain::FlashFirmware()
{
    // From here on the bar follows the tool's progress instead of the download's.
    PB->SetMaximum(100);
    PB->SetPosition(0);
    QCoreApplication::processEvents();
    // Only the port is closed: the status panel, the Access page and the tabs stay as they are.
    SerialPort.ClosePort();
    const std::string port = SelectedPort();
    const std::string failure = RunFlashingTool(MFirmware, WorkDirectory(), [&port](const TFlashTool& tool) {
        return FirmwareCommand(tool, port, FirmwareFileName);
    });
    if (!failure.empty()) {
        MFirmware->AddLine(Text("Upload firmware failed: " + failure));
        return false;
    }
    MFirmware->AddLine(QStringLiteral("Upload firmware done!"));
    return true;
}

// The port belongs to the tool while it runs: nothing that opens, resets or writes it can be used meanwhile.
std::string TFMain::RunFlashingTool(TMemo* memo, const std::string& directory,
                                    const std::function<std::string(const TFlashTool&)>& commandFor)
{
    const TDisabledControls disabled({CBComPort, BComRefresh, BComConn, BComDisconn, BComInit, BUpload});
    const std::vector<std::string> directories = FlashToolDirectories(ProgramDirectory(), std::getenv("PATH"));
    const std::optional<TFlashTool> tool = FlashTools.Find(directories);
    if (!tool) {
        memo->AddLine(Text(MissingFlashToolText(directories)));
        return "no flashing tool was found";
    }
    memo->AddLine(Text(FlashToolLine(*tool)));
    std::string output;
    const int status = RunConsoleTool(commandFor(*tool), memo, directory, output);
    if (status < 0) {
        return "the flashing tool could not be started";
    }
    return status == 0 ? std::string() : "the flashing tool ended with exit status " + std::to_string(status);
}

int TFMain::RunConsoleTool(const std::string& command, TMemo* memo, const std::string& directory, std::string& output)
{
    // Only the Firmware page has a bar for the tool's progress.
    TMemoConsole console(memo, [this, memo](int percent) {
        if (memo == MFirmware) {
            PB->SetPosition(percent);
        }
    });
    return ::RunConsoleTool(command, console, directory, output);
}

// Asks a tool who it is without showing its answer; the window stays usable meanwhile.
std::string TFMain::AskFlashTool(const std::string& command)
{
    struct TSilentMemo : IConsoleMemo
    {
        void ShowLines(std::size_t, std::span<const std::string>) override {}
        void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
    } silent;
    std::string output;
    ::RunConsoleTool(command, silent, ProgramDirectory(), output);
    return output;
}

// Back up...: the board's whole flash read into a file the user picks, with the tools that can read it.

#include "fmain.h"

#include "filelocations.h"
#include "firmwarecatalogue.h"
#include "flashcommands.h"
#include "imagefile.h"
#include "memo.h"
#include "ownimage.h"
#include "programdirectory.h"
#include "progressbar.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPushButton>

#include <cstdlib>

namespace {

QString Text(const std::string& text)
{
    return QString::fromUtf8(text);
}

} // namespace

void TFMain::BBackupClick()
{
    if (!MayStart(TFlow::Backup)) {
        return;
    }
    const QString suggested =
        QDateTime::currentDateTime().toString(QStringLiteral("'quorlane-backup-'yyyy-MM-dd-HHmmss'.bin'"));
    const std::string target = AskFile(
        {"BackupFileDialog", "Back up the board's flash", true, "Flash backups (*.bin)", "BackupFolder"}, suggested);
    if (target.empty()) {
        return;
    }
    const std::string port = SelectedPort();
    MFirmware->clear();
    RunPortFlow(TFlow::Backup, BBackup, port, [&] { return BackUpFlash(target, port); });
}

// The tool reads the flash into a file of the program's own; only a whole backup reaches the user's file, so that a
// failed or cancelled one leaves nothing there.
std::optional<std::string> TFMain::BackUpFlash(const std::string& target, const std::string& port)
{
    MFirmware->AddLine(Text("Back up the board's flash to " + target));
    PB->SetMaximum(100);
    PB->SetPosition(0);
    PB->setVisible(true);
    QCoreApplication::processEvents();
    SerialPort.ClosePort();
    const TImageFile read(PrivateDirectory(), {});
    const TFlashRun run = RunAtChosenRate(port, "Back up", [&](const TFlashTool& tool, int rate) {
        return BackupCommand(tool, port, read.Path(), rate);
    });
    std::string outcome;
    if (run.End == TFlashRun::Cancelled) {
        outcome = "Back up cancelled: nothing was written.";
    } else if (run.End == TFlashRun::Failed) {
        outcome = "Back up failed: " + run.Failure;
    } else if (const std::string flash = ReadImageFile(read.Path());
               static_cast<std::int64_t>(flash.size()) != FlashSize) {
        outcome = "Back up failed: the tool read " + std::to_string(flash.size()) + " of " + std::to_string(FlashSize) +
                  " bytes";
    } else {
        SaveWholeFile(target, flash);
        outcome = "The board's flash was backed up to " + target + " (" + std::to_string(flash.size()) +
                  " bytes, SHA-256 " + Sha256Hex(flash) + ").";
    }
    MFirmware->AddLine(Text(outcome));
    if (!run.Ran) {
        return std::nullopt;
    }
    return outcome;
}

// Back up... is for the tools that can read the flash; the tooltip says why it is not available otherwise.
void TFMain::ShowBackupAbility()
{
    std::optional<TFlashTool> tool;
    QString why;
    try {
        tool = FlashTools.Find(FlashToolDirectories(ProgramDirectory(), std::getenv("PATH")));
        if (!tool) {
            why = QStringLiteral("No flashing tool was found: install Espressif's esptool to back up the board.");
        } else if (!CanReadFlash(*tool)) {
            why = Text(tool->Identity) + QStringLiteral(" cannot read the board's flash: Espressif's esptool can.");
        }
    } catch (const std::runtime_error& silent) {
        why = Text(silent.what());
    }
    BBackup->setEnabled(why.isEmpty());
    BBackup->setToolTip(why);
}

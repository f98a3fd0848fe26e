#include "programdriver.h"

#include "filedialoganswer.h"
#include "flashcommands.h"
#include "memo.h"
#include "serverprocess.h"
#include "settings.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QRegularExpression>

using namespace quorlane::testsupport;

namespace {

double Seconds(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

} // namespace

std::vector<TToolDirectory> BuiltFlashTools()
{
    return {{"esptool-ck 0.4.13", QUORLANE_FLASHTOOL_CK_DIR, false},
            {"esptool 4.8.1", QUORLANE_FLASHTOOL_V4_DIR, true},
            {"esptool 5.3.1", QUORLANE_FLASHTOOL_V5_DIR, true}};
}

std::optional<TFlashTool> TProgramDriver::Use(const TToolDirectory& tool, const std::string& port)
{
    qputenv("QUORLANE_EXTRA_PORTS", QByteArray::fromStdString(port));
    qputenv("PATH", QByteArray::fromStdString(tool.Directory + ":/usr/bin:/bin"));
    FWindow.BComRefreshClick();
    FWindow.CBComPort->setCurrentIndex(FWindow.CBComPort->findData(QString::fromStdString(port)));
    return FWindow.FlashTools.Find({tool.Directory});
}

void TProgramDriver::ChooseRate(int rate)
{
    FWindow.CBRate->setCurrentIndex(FWindow.CBRate->findData(rate > 0 ? rate : DefaultFlashRate));
}

int TProgramDriver::ChosenRate() const
{
    return FWindow.CBRate->currentData().toInt();
}

double TProgramDriver::Flash(const std::string& image, const std::string& port)
{
    ForgetAdapters();
    FWindow.MFirmware->clear();
    QElapsedTimer clock;
    clock.start();
    const bool done = FWindow.FlashFirmware(image, port).End == TFlashRun::Done;
    return done ? Seconds(clock) : -1;
}

double TProgramDriver::Backup(const std::string& target)
{
    ForgetAdapters();
    QElapsedTimer clock;
    double seconds = -1;
    const QMetaObject::Connection stamp =
        QObject::connect(FWindow.MFirmware, &TMemo::LinesAdded, [&](const QStringList& lines) {
            for (const QString& line : lines) {
                if (line.startsWith("Back up the board's flash to ")) {
                    clock.start();
                } else if (line.startsWith("The board's flash was backed up to ")) {
                    seconds = Seconds(clock);
                }
            }
        });
    AnswerFileDialog(&FWindow, "BackupFileDialog", target);
    FWindow.BBackupClick();
    QObject::disconnect(stamp);
    // The window connects to the board again after a backup: the next measure uses a board of its own.
    FWindow.BComDisconnClick();
    return seconds;
}

QStringList TProgramDriver::MemoLines() const
{
    QStringList lines;
    for (int line = 0; line < FWindow.MFirmware->LineCount(); ++line) {
        lines.append(FWindow.MFirmware->Line(line));
    }
    return lines;
}

int TProgramDriver::ToolRuns() const
{
    return static_cast<int>(MemoLines().filter(QRegularExpression(QStringLiteral("^Flashing tool: "))).size());
}

// Every run is an adapter's first: none starts slower for a fallback before, and none skips an image it wrote
// before, which the bare tool would write.
void TProgramDriver::ForgetAdapters()
{
    const auto settings = UserSettings();
    settings->remove(QStringLiteral("AdapterRates"));
    settings->remove(QStringLiteral("AdapterImages"));
}

double RunBare(const std::string& command, const std::string& log)
{
    QElapsedTimer clock;
    clock.start();
    const bool done = RunCommand({"/bin/sh", "-c", command}, log) == 0;
    return done ? Seconds(clock) : -1;
}

// Initialize and Upload in a real window with the real flashing tools (built from ../shared/thirdparty into the
// build tree), writing onto the board simulator's serial bootloader over a pseudo-terminal: what the board's flash
// holds afterwards, what the memo shows, and how failures of the board end.

#include "firmwarecatalogue.h"
#include "flashcommands.h"
#include "flashpeers.h"
#include "programdirectory.h"
#include "serverprocess.h"
#include "tempdir.h"
#include "windowfixture.h"

#include <QElapsedTimer>
#include <QRadioButton>
#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

constexpr std::size_t FlashSize = 4 * 1024 * 1024;

struct TToolCase
{
    std::string Name;
    std::string Directory;
    bool Espressif;

    friend void PrintTo(const TToolCase& tool, std::ostream* out) { *out << tool.Name; }
};

std::vector<TToolCase> ToolCases()
{
    return {{"esptool_ck", QUORLANE_FLASHTOOL_CK, false},
            {"esptool_v4", QUORLANE_FLASHTOOL_V4, true},
            {"esptool_v5", QUORLANE_FLASHTOOL_V5, true}};
}

class RealToolFlashTest : public WindowTest
{
protected:
    void StartWith(const TToolCase& tool, const std::vector<std::string>& boardOptions = {})
    {
        if (tool.Directory.empty()) {
            GTEST_SKIP() << "the real flashing tools are not here: ../shared/thirdparty is absent";
        }
        Board.emplace(Scratch, boardOptions);
        Catalogue.emplace(Scratch);
        ::setenv("QUORLANE_CATALOGUE_URL", Catalogue->Server().Address().c_str(), 1);
        ::setenv("SSL_CERT_FILE", Catalogue->Server().CAFile().c_str(), 1);
        ::setenv("XDG_CACHE_HOME", Scratch.File("cache").c_str(), 1);
        // Exactly one tool can be found: nothing lies beside this test program.
        ::setenv("PATH", (tool.Directory + ":/usr/bin:/bin").c_str(), 1);
        OfferPorts({Board->Path()});
        Click(Window->BComRefresh);
        SelectPort(Board->Path());
        Click(Window->BComConn);
        ASSERT_TRUE(WaitFor([&] { return EchoLines().contains("QUORLANE_START"); }, 10000)) << Echo();
    }

    void TearDown() override
    {
        WindowTest::TearDown();
        fs::remove(fs::path(ProgramDirectory()) / "init.bin");
        for (const char* name : {"QUORLANE_CATALOGUE_URL", "SSL_CERT_FILE", "XDG_CACHE_HOME"}) {
            ::unsetenv(name);
        }
        ::setenv("PATH", SavedPath.c_str(), 1);
    }

    void ChooseRate(int rate) { Window->CBRate->setCurrentIndex(Window->CBRate->findData(rate)); }

    // Clicks Upload for the catalogue's first entry; the longest the window went without processing its events.
    qint64 Upload()
    {
        Window->PCMain->SetTabShown(Window->TSFirmware, true);
        SelectTabByUser(Window->TSFirmware);
        EXPECT_GT(Window->CBProject->count(), 0) << Joined(MemoLines(Window->MFirmware));
        Window->CBProject->setCurrentIndex(0);
        return LongestStallWhile([&] { Click(Window->BUpload); });
    }

    qint64 LongestStallWhile(const std::function<void()>& action)
    {
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
        sinceTick.start();
        ticker.start();
        action();
        return longest;
    }

    static std::string Joined(const QStringList& lines) { return lines.join("\n").toStdString(); }
    std::string Echo() const { return Joined(EchoLines()); }

    // The flash holds the image at offset 0 and nothing but erased bytes after it.
    void ExpectFlashHolds(const std::string& image) const
    {
        const std::string flash = Board->Flash();
        ASSERT_EQ(flash.size(), FlashSize);
        EXPECT_TRUE(flash.compare(0, image.size(), image) == 0) << "the flash does not hold the image";
        EXPECT_EQ(flash.find_first_not_of('\xFF', image.size()), std::string::npos);
    }

    // What a terminal would not show: escape codes, and a new line for each progress step.
    static void ExpectReadable(const QStringList& lines, int flashes)
    {
        for (const QString& line : lines) {
            EXPECT_FALSE(line.contains(QChar(0x1B))) << line.toStdString();
        }
        EXPECT_LE(std::ranges::count_if(lines, [](const QString& line) { return line.contains('%'); }), flashes)
            << Joined(lines);
    }

    TTempDir Scratch;
    std::optional<TSimulatedBoard> Board;
    std::optional<TDemoCatalogue> Catalogue;
    std::string SavedPath = std::getenv("PATH");
};

class RealToolTest : public RealToolFlashTest, public testing::WithParamInterface<TToolCase>
{
};

TEST_P(RealToolTest, InitializeAndUploadWriteTheImagesAndTheBoardStartsTheNewFirmware)
{
    StartWith(GetParam());
    if (IsSkipped()) {
        return;
    }
    const std::string init(4096, '\x3C');
    std::ofstream(fs::path(ProgramDirectory()) / "init.bin", std::ios::binary) << init;
    Click(Window->BComInit);
    const QStringList initLines = EchoLines();
    EXPECT_TRUE(initLines.filter("Flashing tool: ").size() == 1) << Echo();
    EXPECT_TRUE(initLines.filter("Initialize failed").isEmpty()) << Echo();
    ExpectReadable(initLines, 1);
    ExpectFlashHolds(init);
    // The console keeps the tool's output and shows the board starting again below it.
    ASSERT_TRUE(WaitFor([&] { return EchoLines().filter("QUORLANE_START").size() == 1; }, 10000)) << Echo();
    EXPECT_TRUE(Window->SerialPort.Connected());
    EXPECT_EQ(EchoLines().mid(0, initLines.size()), initLines);

    Upload();
    const QStringList lines = MemoLines(Window->MFirmware);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.back(), "Upload firmware done!") << Joined(lines);
    EXPECT_EQ(lines.filter("Flashing tool: ").size(), 1);
    if (GetParam().Espressif) {
        EXPECT_FALSE(lines.filter("Hash of data verified").isEmpty()) << Joined(lines);
    }
    // Only Espressif's tools can read the flash; esptool-ck's Back up... says why it is not there.
    EXPECT_EQ(Window->BBackup->isEnabled(), GetParam().Espressif);
    EXPECT_EQ(Window->BBackup->toolTip().contains("cannot read the board's flash"), !GetParam().Espressif);
    ExpectReadable(lines, 1);
    const std::string version = Catalogue->Version(0);
    ExpectFlashHolds(Catalogue->Image(version));
    EXPECT_EQ(Window->PCMain->currentWidget(), Window->TSConnect);
    EXPECT_TRUE(
        WaitFor([&] { return EchoLines().contains(QString::fromStdString("board: firmware " + version)); }, 10000))
        << Echo();
}

INSTANTIATE_TEST_SUITE_P(EachTool, RealToolTest, testing::ValuesIn(ToolCases()),
                         [](const auto& info) { return info.param.Name; });

// Failures of the board, with the tool users have most: each ends with the failure line while the window keeps
// processing its events.
class BoardFaultTest : public RealToolFlashTest, public testing::WithParamInterface<std::string>
{
};

TEST_P(BoardFaultTest, EndsWithTheFailureLine)
{
    StartWith(ToolCases()[1], {"--fault", GetParam()});
    if (IsSkipped()) {
        return;
    }
    // At the safe rate, which is not tried again.
    ChooseRate(SafeFlashRate);
    const qint64 stall = Upload();
    const QStringList lines = MemoLines(Window->MFirmware);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.back().startsWith("Upload firmware failed: the flashing tool ended with exit status "))
        << Joined(lines);
    EXPECT_FALSE(lines.contains("Upload firmware done!"));
    EXPECT_LT(stall, 2000) << "the window stopped processing its events";
    EXPECT_TRUE(Window->BUpload->isEnabled());
    EXPECT_TRUE(Window->BComConn->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(EachFault, BoardFaultTest, testing::Values("corrupt-block", "silent", "vanish"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::ranges::replace(name, '-', '_');
                             return name;
                         });

// A failed Initialize says so before the window connects to the board again.
TEST_F(RealToolFlashTest, FailedInitializeIsReportedBeforeTheReconnect)
{
    StartWith(ToolCases()[1], {"--fault", "corrupt-block", "--fault-block", "0"});
    if (IsSkipped()) {
        return;
    }
    std::ofstream(fs::path(ProgramDirectory()) / "init.bin", std::ios::binary) << std::string(4096, '\x3C');
    Click(Window->BComInit);
    const QStringList lines = EchoLines();
    const qsizetype failed =
        lines.indexOf(QRegularExpression("^Initialize failed: the flashing tool ended with exit status \\d+$"));
    ASSERT_GE(failed, 0) << Echo();
    EXPECT_EQ(lines.value(failed + 1), "Connecting...") << Echo();
}

// The user's own image: a compressed file is refused before anything happens; an image is flashed byte for byte
// after the whole flash was erased, so nothing of what the flash held before is left behind it.
TEST_F(RealToolFlashTest, OwnImageIsCheckedThenWrittenOverAnErasedFlash)
{
    std::ofstream(Scratch.File("board-flash.bin"), std::ios::binary) << std::string(FlashSize, '\0');
    StartWith(ToolCases()[2]);
    if (IsSkipped()) {
        return;
    }
    Window->PCMain->SetTabShown(Window->TSFirmware, true);
    std::ofstream(Scratch.File("tasmota.bin.gz"), std::ios::binary) << "\x1F\x8B\x08 compressed";
    AnswerFileDialog(Window.get(), "ImageFileDialog", Scratch.File("tasmota.bin.gz"));
    Click(Window->BImageFile);
    EXPECT_EQ(MemoLines(Window->MFirmware),
              QStringList({"tasmota.bin.gz is not an ESP8266 image: it starts with 0x1F, an image starts with 0xE9. "
                           "Nothing was flashed."}));
    EXPECT_EQ(Board->Flash(), std::string(FlashSize, '\0'));

    const std::string& image = Catalogue->Image(Catalogue->Version(0));
    std::ofstream(Scratch.File("own.bin"), std::ios::binary) << image;
    Window->RBEraseAll->setChecked(true);
    AnswerFileDialog(Window.get(), "ImageFileDialog", Scratch.File("own.bin"));
    Click(Window->BImageFile);
    const QStringList lines = MemoLines(Window->MFirmware);
    EXPECT_EQ(lines.value(0).toStdString(), "Image file: " + Scratch.File("own.bin") + " (" +
                                                std::to_string(image.size()) + " bytes, SHA-256 " + Sha256Hex(image) +
                                                ")");
    EXPECT_TRUE(lines.contains("Erasing the whole flash first: the board's settings go too.")) << Joined(lines);
    EXPECT_EQ(lines.back(), "Upload firmware done!") << Joined(lines);
    ExpectFlashHolds(image);
    EXPECT_EQ(EchoLines().value(0), "Firmware own.bin was written and verified by esptool v5.3.1.");
}

// A backup holds the board's whole flash, byte for byte, in the file the user picked.
TEST_F(RealToolFlashTest, BackupHoldsTheWholeFlash)
{
    StartWith(ToolCases()[1]);
    if (IsSkipped()) {
        return;
    }
    Upload();
    const std::string flash = Board->Flash();
    Window->PCMain->SetTabShown(Window->TSFirmware, true);
    SelectTabByUser(Window->TSFirmware);
    AnswerFileDialog(Window.get(), "BackupFileDialog", Scratch.File("backup.bin"));
    Click(Window->BBackup);
    ASSERT_EQ(ReadWholeFile(Scratch.File("backup.bin")), flash);
    EXPECT_EQ(MemoLines(Window->MFirmware).back().toStdString(),
              "The board's flash was backed up to " + Scratch.File("backup.bin") + " (" + std::to_string(FlashSize) +
                  " bytes, SHA-256 " + Sha256Hex(flash) + ").");
    EXPECT_FALSE(fs::exists(Scratch.File("backup.bin.part")));
}

// An adapter that does not keep up with the faster rate (as a CH340 at 921600): the tool runs again at 115200, the
// image lands whole, and the next flash on that adapter starts at the rate that worked.
TEST_F(RealToolFlashTest, AdapterThatDoesNotKeepUpIsFlashedAtTheSafeRateFromThenOn)
{
    StartWith(ToolCases()[2], {"--max-rate", "115200"});
    if (IsSkipped()) {
        return;
    }
    Upload();
    QStringList lines = MemoLines(Window->MFirmware);
    EXPECT_TRUE(lines.contains("Rate: 460800 baud")) << Joined(lines);
    EXPECT_TRUE(lines.contains("The adapter did not keep up at 460800 baud; trying again at 115200.")) << Joined(lines);
    EXPECT_EQ(lines.filter("Flashing tool: ").size(), 2);
    EXPECT_EQ(lines.back(), "Upload firmware done!") << Joined(lines);
    ExpectFlashHolds(Catalogue->Image(Catalogue->Version(0)));

    Upload();
    lines = MemoLines(Window->MFirmware);
    EXPECT_TRUE(lines.contains("Rate: 115200 baud, the fastest this adapter kept up with")) << Joined(lines);
    EXPECT_EQ(lines.filter("did not keep up").size(), 0) << Joined(lines);
    EXPECT_EQ(lines.back(), "Upload firmware done!") << Joined(lines);
}

// Cancel stops the tool (esptool 5 puts the chip back on its way out); the user is told the board may hold a partly
// written image, the controls come back, the board is connected again and no tool is left running.
TEST_F(RealToolFlashTest, CancelDuringTheFlashStopsTheToolAndReconnects)
{
    StartWith(ToolCases()[2], {"--slow-flash", "0.2"});
    if (IsSkipped()) {
        return;
    }
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (!MemoLines(Window->MFirmware).filter("Writing at").isEmpty() && Window->BUpload->text() == "Cancel") {
            canceller.stop();
            Click(Window->BUpload);
        }
    });
    canceller.start(20);
    Upload();

    const QStringList lines = MemoLines(Window->MFirmware);
    EXPECT_EQ(lines.back(), UploadCancelledText) << Joined(lines);
    EXPECT_EQ(EchoLines().value(0), UploadCancelledText) << Echo();
    EXPECT_TRUE(Window->SerialPort.Connected());
    EXPECT_EQ(Window->BUpload->text(), "Upload");
    for (QWidget* control : QList<QWidget*>{Window->CBComPort, Window->BComRefresh, Window->BComConn,
                                            Window->BComDisconn, Window->BComInit, Window->BUpload}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_FALSE(ProcessNames(Board->Path()));
    EXPECT_NE(Board->Flash().compare(0, Catalogue->Image(Catalogue->Version(0)).size(),
                                     Catalogue->Image(Catalogue->Version(0))),
              0)
        << "the whole image was written";
}

// Pressing Connect and Initialize while a slow flash runs neither resets the board nor disturbs the tool.
TEST_F(RealToolFlashTest, ConnectAndInitializeDuringAFlashLeaveThePortToTheTool)
{
    StartWith(ToolCases()[1], {"--slow-flash", "0.05"});
    if (IsSkipped()) {
        return;
    }
    std::ofstream(fs::path(ProgramDirectory()) / "init.bin", std::ios::binary) << std::string(4096, '\x3C');
    int pressed = 0;
    QTimer presser;
    presser.setInterval(300);
    QObject::connect(&presser, &QTimer::timeout, [&] {
        const QStringList lines = MemoLines(Window->MFirmware);
        if (lines.filter("Flashing tool: ").isEmpty() || !lines.filter("Upload firmware").isEmpty()) {
            return;
        }
        Click(Window->BComConn);
        Click(Window->BComInit);
        ++pressed;
    });
    presser.start();
    Upload();
    presser.stop();
    EXPECT_GT(pressed, 0);
    EXPECT_EQ(MemoLines(Window->MFirmware).back(), "Upload firmware done!");
    ExpectFlashHolds(Catalogue->Image(Catalogue->Version(0)));
    EXPECT_TRUE(EchoLines().filter("Prepare initializer").isEmpty()) << Echo();
}

} // namespace

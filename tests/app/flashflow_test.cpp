#include "imagefile.h"
#include "memoconsole.h"
#include "programdirectory.h"
#include "progressbar.h"
#include "testapplication.h"
#include "windowfixture.h"

#include <nlohmann/json.hpp>

#include <QScrollBar>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

extern char** environ;

namespace {

// The memo side of a tool run: how pieces of output become lines of a window memo.
class MemoConsoleTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { EnsureTestApplication(); }

    TMemo Memo;
};

using TLines = std::vector<std::string>;

TEST_F(MemoConsoleTest, RunsLinesStartBelowTheMemosTextAndAreReplacedInPlace)
{
    TMemoConsole intoEmpty(&Memo);
    intoEmpty.ShowLines(0, TLines{"esptool"});
    EXPECT_EQ(MemoLines(&Memo), QStringList({"esptool"}));

    Memo.clear();
    Memo.AddLine("Prepare initializer...");
    TMemoConsole console(&Memo);
    console.ShowLines(0, TLines{"Writ"});
    console.ShowLines(0, TLines{"Writing at 0x0 (50 %)", ""});
    console.ShowLines(0, TLines{"Writing at 0x400 (100 %)", "Wrote 2048 bytes", "caf\xC3\xA9"});
    EXPECT_EQ(MemoLines(&Memo), QStringList({"Prepare initializer...", "Writing at 0x400 (100 %)", "Wrote 2048 bytes",
                                             QString::fromUtf8("caf\xC3\xA9")}));
    Memo.AddLine("Upload firmware done!");
    EXPECT_EQ(MemoLines(&Memo).back(), "Upload firmware done!");
}

// Lines that other flows add or remove during a run (a catalogue error shown or taken away) neither shift the run's
// lines nor are overwritten by them; the memo keeps its most recent lines.
TEST_F(MemoConsoleTest, RunsLinesKeepTheirPlaceWhenOtherLinesComeAndGo)
{
    Memo.AddLine("Start download firmware: 1.2");
    Memo.AddLine("Firmware list error: Connection refused");
    TMemoConsole console(&Memo);
    console.ShowLines(0, TLines{"Writing at 0x0 (10 %)"});
    Memo.RemoveLinesStartingWith("Firmware list error: ");
    console.ShowLines(0, TLines{"Writing at 0x0 (50 %)", "Wrote"});
    Memo.AddLine("Firmware list error: Connection refused");
    console.ShowLines(1, TLines{"Wrote 2048 bytes", "Leaving..."});
    EXPECT_EQ(MemoLines(&Memo),
              QStringList({"Start download firmware: 1.2", "Writing at 0x0 (50 %)", "Wrote 2048 bytes", "Leaving...",
                           "Firmware list error: Connection refused"}));

    TLines lines;
    for (int line = 0; line < TMemoConsole::MaxLines + 100; ++line) {
        lines.push_back("line " + std::to_string(line));
        console.ShowLines(3 + lines.size() - 1, std::span(lines).last(1));
    }
    ASSERT_EQ(Memo.LineCount(), TMemoConsole::MaxLines);
    EXPECT_EQ(Memo.Line(TMemoConsole::MaxLines - 2).toStdString(), lines.back());
    EXPECT_EQ(Memo.Line(TMemoConsole::MaxLines - 1), "Firmware list error: Connection refused");
}

TEST_F(MemoConsoleTest, ProgressGoesToItsReceiver)
{
    std::vector<int> shown;
    TMemoConsole console(&Memo, [&shown](int percent) { shown.push_back(percent); });
    console.ShowProgress(40);
    console.ShowProgress(100);
    EXPECT_EQ(shown, (std::vector<int>{40, 100}));
}

TEST_F(MemoConsoleTest, MemoFollowsTheOutputToItsEnd)
{
    Memo.resize(300, 200);
    Memo.show();
    TMemoConsole console(&Memo);
    TLines lines;
    for (int line = 0; line < 200; ++line) {
        lines.push_back("Writing at 0x" + std::to_string(line * 1024));
        console.ShowLines(lines.size() - 1, std::span(lines).last(1));
    }
    QCoreApplication::processEvents();
    QScrollBar* bar = Memo.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// The board simulator from tools/, offering its pseudo-terminal as a port; stopped by its process id.
class TBoardSimulator
{
public:
    explicit TBoardSimulator(const fs::path& directory)
    {
        const fs::path ptyFile = directory / "simulator-pty";
        std::vector<std::string> args{"python3", QUORLANE_BOARDSIM, "--pty-file", ptyFile.string()};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawnp(&FPid, "python3", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            FPid = -1;
            return;
        }
        for (int wait = 0; wait < 1000 && !fs::exists(ptyFile); ++wait) {
            ::usleep(10000);
        }
        std::ifstream(ptyFile) >> FPath;
    }
    ~TBoardSimulator()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    TBoardSimulator(const TBoardSimulator&) = delete;
    TBoardSimulator& operator=(const TBoardSimulator&) = delete;

    const std::string& Path() const { return FPath; }

private:
    pid_t FPid = -1;
    std::string FPath;
};

// The flows of the Connect and Firmware pages in a real window on a pseudo-terminal board, with the stand-in
// flashing tool beside this test program.
class FlashWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        char pattern[] = "/tmp/quorlane-flashflow-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FTempDir = pattern;
        FLog = FTempDir / "record.json";
        ::setenv("ESPTOOL_STANDIN_LOG", FLog.c_str(), 1);
        ::setenv("ESPTOOL_STANDIN_DELAY", "0.05", 1);
        ::setenv("XDG_CACHE_HOME", (FTempDir / "cache").c_str(), 1);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        ::unsetenv("ESPTOOL_STANDIN_LOG");
        ::unsetenv("ESPTOOL_STANDIN_DELAY");
        ::unsetenv("ESPTOOL_STANDIN_SILENCE");
        ::unsetenv("XDG_CACHE_HOME");
        fs::remove(fs::path(ProgramDirectory()) / "init.bin");
        fs::remove_all(FTempDir);
    }

    // An image beside the program (init.bin), or elsewhere when the name is a path.
    static std::string WriteImage(const std::string& name, size_t size)
    {
        const fs::path path = fs::path(ProgramDirectory()) / name;
        std::ofstream(path, std::ios::binary) << std::string(size, '\x5A');
        return path.string();
    }

    nlohmann::json Record() const
    {
        std::ifstream log(FLog);
        return nlohmann::json::parse(log);
    }

    QString BoardPath() { return QString::fromStdString(Board().Path()); }
    static QString StandIn() { return QString::fromStdString(ProgramDirectory() + "/esptool"); }

    // Connects and lets the board report its address, so the Access page and the Firmware tab are open.
    void ConnectWithAccess()
    {
        Connect();
        Board().Write(
            "QUORLANE_START\r\nQUORLANE_JSON {\"operate\":\"ACCESS\",\"ip\":\"10.0.0.7\",\"gate\":\"10.0.0.1\","
            "\"mask\":\"255.255.255.0\"}\r\n");
        ASSERT_TRUE(WaitFor([&] { return Window->PCMain->IsTabShown(Window->TSFirmware); }));
    }

    fs::path FTempDir;
    fs::path FLog;
};

TEST_F(FlashWindowTest, FlashingStepClosesOnlyThePortAndRunsTheTool)
{
    ConnectWithAccess();
    Board().Write("QUORLANE_JSON {\"operate\":\"NONE\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PComState->text() == "READY"; }));
    const std::string image = WriteImage(FTempDir / "image.bin", 3000);
    Window->MFirmware->AddLine("Download successful!");
    Window->MFirmware->AddLine("Prepare uploader...");

    Window->FlashFirmware(image, Board().Path());

    EXPECT_FALSE(Window->PB->isVisible());
    const nlohmann::json record = Record();
    EXPECT_EQ(record["args"], nlohmann::json({"-cp", Board().Path(), "-cb", "460800", "-bm", "dio", "-bf", "40", "-cd",
                                              "nodemcu", "-bz", "4M", "-cf", image, "-v"}));
    EXPECT_EQ(record["cwd"], PrivateDirectory());
    EXPECT_EQ(record["image"]["size"], 3000);
    // The tool found the port free: the window had let go of it.
    EXPECT_EQ(record["port"], "free");

    const QStringList lines = MemoLines(Window->MFirmware);
    EXPECT_EQ(lines,
              QStringList({"Download successful!", "Prepare uploader...",
                           "Keeping the board's settings: only the image's sectors are written.", "Rate: 460800 baud",
                           "Flashing tool: esptool vstand-in (" + StandIn() + ")", "esptool stand-in",
                           "Connecting to " + BoardPath(), "Writing at 0x00000bb8... (100 %)", "Wrote 3000 bytes",
                           "Leaving...", "Upload firmware done!"}));

    // Only the port was closed: the panel, the Access page and the tabs stay as they were, and nothing reconnects.
    EXPECT_FALSE(Window->SerialPort.Connected());
    EXPECT_EQ(Window->PComState->text(), "READY");
    EXPECT_TRUE(Window->PAccess->text().startsWith("GOT ACCESS!"));
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSFirmware));
}

TEST_F(FlashWindowTest, FlashingStepReportsAFailingToolAsAFailure)
{
    SelectPort(Board().Path());
    const std::string missing = FTempDir / "missing.bin";
    EXPECT_EQ(Window->FlashFirmware(missing, Board().Path()).End, TFlashRun::Failed);
    const QStringList lines = MemoLines(Window->MFirmware);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(lines.size() - 2),
              QStringList({"Cannot open " + QString::fromStdString(missing),
                           "Upload firmware failed: the flashing tool ended with exit status 2"}));
}

TEST_F(FlashWindowTest, WithoutAnyToolTheUserIsToldWhereItWasLookedForAndNothingRuns)
{
    SelectPort(Board().Path());
    // The stand-in beside the program goes away for the test, and PATH holds only an empty directory.
    struct TNoTool
    {
        fs::path Hidden;
        QByteArray SavedPath = qgetenv("PATH");
        explicit TNoTool(const fs::path& hidden) : Hidden(hidden)
        {
            fs::rename(StandIn().toStdString(), Hidden);
            qputenv("PATH", Hidden.parent_path().string().c_str());
        }
        ~TNoTool()
        {
            fs::rename(Hidden, StandIn().toStdString());
            qputenv("PATH", SavedPath);
        }
    };
    {
        const TNoTool noTool(FTempDir / "hidden-esptool");
        EXPECT_EQ(Window->FlashFirmware(FTempDir / "image.bin", Board().Path()).End, TFlashRun::Failed);
    }

    const QStringList lines = MemoLines(Window->MFirmware).mid(2);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("No flashing tool found: looked for esptool and esptool.py in " +
                                    QString::fromStdString(ProgramDirectory()) + ", " +
                                    QString::fromStdString(FTempDir.string())))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], "Upload firmware failed: no flashing tool was found");
    EXPECT_FALSE(fs::exists(FLog));
    EXPECT_TRUE(Window->BComConn->isEnabled());
    EXPECT_TRUE(Window->BUpload->isEnabled());
}

TEST_F(FlashWindowTest, WindowKeepsProcessingEventsWhileTheToolIsSilent)
{
    SelectPort(Board().Path());
    const std::string image = WriteImage(FTempDir / "image.bin", 100);
    ::setenv("ESPTOOL_STANDIN_SILENCE", "1", 1);
    int ticks = 0;
    int ticksAtFirstLine = -1;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (ticksAtFirstLine < 0 && MemoLines(Window->MFirmware).contains("esptool stand-in")) {
            ticksAtFirstLine = ticks;
        }
    });
    timer.start(10);
    Window->FlashFirmware(image, Board().Path());
    timer.stop();

    // A second of silence follows the tool's first line; the timer goes on firing through it.
    ASSERT_GE(ticksAtFirstLine, 0);
    EXPECT_GE(ticks - ticksAtFirstLine, 20);
}

TEST_F(FlashWindowTest, InitializeWithoutSelectedPortDoesNothing)
{
    Window->CBComPort->setCurrentIndex(-1);
    Window->MComEcho->AddLine("earlier");
    Click(Window->BComInit);
    EXPECT_EQ(EchoLines(), QStringList({"earlier"}));
    EXPECT_FALSE(fs::exists(FLog));
}

// What the window looked like while the tool was writing.
struct TStateDuringRun
{
    bool Seen = false;
    QList<bool> ControlsEnabled;
    QString InitCaption;
    QString ComState;
    QString Access;
    bool FirmwareTabShown = true;
    bool PortOpen = true;
    QStringList Echo;
};

TEST_F(FlashWindowTest, InitializeDisconnectsRunsTheToolAndReconnects)
{
    ConnectWithAccess();
    const std::string image = WriteImage("init.bin", 2048);
    TStateDuringRun during;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!during.Seen && EchoLines().join("\n").contains("Writing at")) {
            during.Seen = true;
            for (QWidget* control : QList<QWidget*>{Window->CBComPort, Window->BComRefresh, Window->BComConn,
                                                    Window->BComDisconn, Window->BComInit}) {
                during.ControlsEnabled.append(control->isEnabled());
            }
            during.InitCaption = Window->BComInit->text();
            during.ComState = Window->PComState->text();
            during.Access = Window->PAccess->text();
            during.FirmwareTabShown = Window->PCMain->IsTabShown(Window->TSFirmware);
            during.PortOpen = Window->SerialPort.Connected();
            during.Echo = EchoLines();
        }
    });
    sampler.start(10);
    Click(Window->BComInit);
    sampler.stop();

    const nlohmann::json record = Record();
    EXPECT_EQ(record["args"],
              nlohmann::json({"-cp", Board().Path(), "-bm", "dio", "-cd", "nodemcu", "-cf", image, "-v"}));
    EXPECT_EQ(record["cwd"], PrivateDirectory());
    EXPECT_EQ(record["image"]["size"], 2048);
    EXPECT_EQ(record["port"], "free");

    // While the tool ran: the Connect page's controls disabled but Initialize, which reads Cancel, the board
    // disconnected, its output in the memo.
    ASSERT_TRUE(during.Seen);
    EXPECT_EQ(during.ControlsEnabled, QList<bool>({false, false, false, false, true}));
    EXPECT_EQ(during.InitCaption, "Cancel");
    EXPECT_EQ(during.ComState, "WAIT");
    EXPECT_EQ(during.Access, "NOT READY, CONNECT FIRST");
    EXPECT_FALSE(during.FirmwareTabShown);
    EXPECT_FALSE(during.PortOpen);
    EXPECT_EQ(during.Echo.mid(0, 4),
              QStringList({"Prepare initializer...", "Flashing tool: esptool vstand-in (" + StandIn() + ")",
                           "esptool stand-in", "Connecting to " + BoardPath()}));

    // Afterwards: controls enabled again and the board reconnected below the tool's output, which stays readable.
    EXPECT_EQ(Window->BComInit->text(), "Initialize");
    for (QWidget* control : QList<QWidget*>{Window->CBComPort, Window->BComRefresh, Window->BComConn,
                                            Window->BComDisconn, Window->BComInit}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_TRUE(Window->SerialPort.Connected());
    EXPECT_EQ(Window->PComState->text(), "ONLINE");
    EXPECT_EQ(Window->PAccess->text(), "NOT READY, INITIALIZE NOW");
    const QStringList echo = EchoLines();
    EXPECT_EQ(echo.mid(echo.size() - 4),
              QStringList({"Wrote 2048 bytes", "Leaving...", "Connecting...", "Board connected to " + BoardPath()}));

    Board().Write("boot\r\nQUORLANE_START\r\nfresh console\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->MComEcho->LineCount() == echo.size() + 2; }));
    EXPECT_EQ(EchoLines().mid(echo.size()), QStringList({"QUORLANE_START", "fresh console"}));
}

// The descriptors of this process that refer to the device at path.
std::vector<int> DescriptorsOf(const std::string& path)
{
    std::vector<int> descriptors;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == path) {
            descriptors.push_back(std::stoi(entry.path().filename().string()));
        }
    }
    return descriptors;
}

TEST_F(FlashWindowTest, InitializeGivesTheConnectPageBackWhenClosingThePortFails)
{
    WriteImage("init.bin", 16);
    const std::vector<int> before = DescriptorsOf(Board().Path());
    Connect();
    std::vector<int> port = DescriptorsOf(Board().Path());
    std::erase_if(port, [&](int fd) { return std::ranges::find(before, fd) != before.end(); });
    ASSERT_EQ(port.size(), 1u);
    // The window's port descriptor now refers to a socket, which refuses the flush that closing the port asks for.
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    ASSERT_EQ(::dup2(sockets[0], port[0]), port[0]);

    Click(Window->BComInit);

    ASSERT_EQ(Boxes.size(), 1u);
    for (QWidget* control : QList<QWidget*>{Window->CBComPort, Window->BComRefresh, Window->BComConn,
                                            Window->BComDisconn, Window->BComInit}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    ::close(sockets[0]);
    ::close(sockets[1]);
}

// Without the image nothing is disconnected and no tool runs; the user learns where to put it. An image in the user's
// data directory is handed to the tool by its full path.
TEST_F(FlashWindowTest, InitializeLooksForItsImageBesideTheProgramThenInTheUserData)
{
    const fs::path data = FTempDir / "data";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    Connect();
    Click(Window->BComInit);
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_FALSE(fs::exists(FLog)) << "the tool ran without an image";
    const QStringList lines = EchoLines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], "Prepare initializer...");
    EXPECT_TRUE(lines[1].contains("init.bin")) << lines[1].toStdString();
    EXPECT_TRUE(lines.contains("  " + QString::fromStdString(ProgramDirectory())));
    EXPECT_TRUE(lines.contains("  " + QString::fromStdString((data / "quorlane").string())));
    for (QWidget* control : QList<QWidget*>{Window->CBComPort, Window->BComRefresh, Window->BComConn,
                                            Window->BComDisconn, Window->BComInit}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_TRUE(Window->SerialPort.Connected());
    EXPECT_EQ(Window->PComState->text(), "ONLINE");

    fs::create_directories(data / "quorlane");
    std::ofstream(data / "quorlane/init.bin", std::ios::binary) << std::string(700, '\x11');
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    Click(Window->BComInit);
    ::unsetenv("XDG_DATA_HOME");
    const nlohmann::json record = Record();
    EXPECT_EQ(record["args"], nlohmann::json({"-cp", Board().Path(), "-bm", "dio", "-cd", "nodemcu", "-cf",
                                              (data / "quorlane/init.bin").string(), "-v"}));
    EXPECT_EQ(record["cwd"], PrivateDirectory());
    EXPECT_EQ(record["image"]["size"], 700);
    EXPECT_TRUE(Window->SerialPort.Connected());
}

TEST_F(FlashWindowTest, InitializeOnTheBoardSimulatorShowsTheFreshBoardsConsole)
{
    TBoardSimulator simulator(FTempDir);
    ASSERT_FALSE(simulator.Path().empty());
    OfferPorts({simulator.Path()});
    Click(Window->BComRefresh);
    SelectPort(simulator.Path());
    Click(Window->BComConn);
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text() == "READY FOR SETUP WI-FI ACCESS"; }, 10000));
    WriteImage("init.bin", 512);

    Click(Window->BComInit);

    const nlohmann::json record = Record();
    EXPECT_EQ(record["args"][1], simulator.Path());
    EXPECT_EQ(record["port"], "free");
    const QString port = QString::fromStdString(simulator.Path());
    ASSERT_GE(EchoLines().size(), 2);
    EXPECT_TRUE(EchoLines().contains("Board connected to " + port));
    // The reconnect opened the port, so the board starts again: its console and its INIT message come in.
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text() == "READY FOR SETUP WI-FI ACCESS"; }, 10000));
    EXPECT_TRUE(EchoLines().contains("QUORLANE_START"));
    EXPECT_EQ(Window->PComState->text(), "READY");
    EXPECT_TRUE(Window->BComInit->isEnabled());
}

} // namespace

#include "application.h"
#include "fmain.h"
#include "memo.h"
#include "pagecontrol.h"
#include "statuspanel.h"
#include "testapplication.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The main window against the board simulator, driven by clicks and by commands to the simulator.
class SimulatorTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { EnsureTestApplication(); }

    void SetUp() override
    {
        ASSERT_TRUE(Work.isValid());
        Simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Simulator.start("python3", {QUORLANE_BOARDSIM, "--pty-file", Work.filePath("port"), "--log",
                                    Work.filePath("settings.log"), "--control", Work.filePath("control")});
        ASSERT_TRUE(Simulator.waitForStarted(5000));
        ASSERT_TRUE(WaitFor([&] { return QFile::exists(Work.filePath("port")); }));
        QFile portFile(Work.filePath("port"));
        ASSERT_TRUE(portFile.open(QIODevice::ReadOnly));
        Port = QString::fromUtf8(portFile.readAll()).trimmed();
        qputenv("QUORLANE_EXTRA_PORTS", Port.toUtf8());
        Window = std::make_unique<TFMain>();
        Window->show();
    }

    void TearDown() override
    {
        Window.reset();
        // Stopped by its process id.
        Simulator.terminate();
        if (!Simulator.waitForFinished(3000)) {
            Simulator.kill();
            Simulator.waitForFinished(3000);
        }
    }

    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 8000)
    {
        return ProcessEventsUntil(condition, timeoutMs);
    }

    void Command(const std::string& command)
    {
        const int fifo = open(Work.filePath("control").toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fifo, 0);
        const std::string line = command + "\n";
        ASSERT_EQ(write(fifo, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        close(fifo);
    }

    void ConnectUntilInit()
    {
        Window->CBComPort->setCurrentIndex(Window->CBComPort->findText(Port));
        QTest::mouseClick(Window->BComConn, Qt::LeftButton);
        // The simulated board starts talking as soon as the port opens, so READY may already have followed ONLINE.
        ASSERT_TRUE(Window->SerialPort.Connected());
        ASSERT_EQ(Window->MComEcho->Line(1), "Board connected to " + Port);
        ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text() == "READY FOR SETUP WI-FI ACCESS"; }));
    }

    QByteArray SettingsLog() const
    {
        QFile log(Work.filePath("settings.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    QTemporaryDir Work;
    QProcess Simulator;
    QString Port;
    std::unique_ptr<TFMain> Window;
};

TEST_F(SimulatorTest, ConnectAccessAndSaveEndToEnd)
{
    ConnectUntilInit();
    EXPECT_EQ(Window->PComState->text(), "READY");
    EXPECT_EQ(Window->MComEcho->Line(2), "QUORLANE_START");
    EXPECT_EQ(Window->EBoardPass->text(), "admin");
    EXPECT_GE(Window->CBSsid->findText(QString::fromUtf8("Café Wi-Fi")), 0);

    Window->CBSsid->setEditText(QString::fromUtf8("Café Wi-Fi"));
    Window->EWFPass->setText("p/ss\"word");
    Window->ENetIp->setText("10.1.2.3");
    QTest::mouseClick(Window->BAccessSave, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text().startsWith("GOT ACCESS!"); }));
    EXPECT_EQ(Window->PAccess->text(), "GOT ACCESS! IP:10.1.2.3 Gateway:192.168.1.1 Netmask:255.255.255.0");
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSFirmware));
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSSetup));
    EXPECT_EQ(SettingsLog(), QByteArray("{\"ssid\":\"Caf\xC3\xA9 Wi-Fi\",\"pass\":\"p\\/ss\\\"word\","
                                        "\"board_name\":\"quorlane-board\",\"board_pass\":\"admin\","
                                        "\"init_ssid\":\"QUORLANE-SETUP\",\"init_pass\":\"12345678\","
                                        "\"net_ip\":\"10.1.2.3\",\"net_gate\":\"\",\"net_mask\":\"\"}\n"));
    // The board reports no rejection: the line passed its own check.
    EXPECT_TRUE(Window->MComEcho->toPlainText().contains("settings: saved"));
}

TEST_F(SimulatorTest, MessageSplitOverManyWritesIsHandledOnce)
{
    ConnectUntilInit();
    Window->EBoardName->setText("changed");
    Command("split");
    ASSERT_TRUE(WaitFor([&] { return Window->EBoardName->text() == "quorlane-board"; }));
}

TEST_F(SimulatorTest, MalformedMessageTurnsReadyAndChangesNothing)
{
    ConnectUntilInit();
    Window->EBoardName->setText("changed");
    Command("malformed");
    Command("say after malformed");
    ASSERT_TRUE(WaitFor([&] { return Window->MComEcho->toPlainText().endsWith("after malformed"); }));
    EXPECT_EQ(Window->EBoardName->text(), "changed");
    EXPECT_EQ(Window->PAccess->text(), "READY FOR SETUP WI-FI ACCESS");
}

TEST_F(SimulatorTest, RebootShowsTheConsoleAgainFromTheNextStart)
{
    ConnectUntilInit();
    Command("reboot");
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text() == "REBOOT..."; }));
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text() == "READY FOR SETUP WI-FI ACCESS"; }));
    EXPECT_EQ(Window->MComEcho->Line(0), "Rebooting...");
    EXPECT_EQ(Window->MComEcho->Line(1), "QUORLANE_START");
}

TEST_F(SimulatorTest, TwentyFiveHundredLinesLeaveTheLastTwoThousand)
{
    ConnectUntilInit();
    Command("lines 2500");
    ASSERT_TRUE(WaitFor([&] {
        return Window->MComEcho->Line(Window->MComEcho->LineCount() - 1) == "console line 02500 of the simulated board";
    }));
    EXPECT_EQ(Window->MComEcho->LineCount(), 2000);
    EXPECT_EQ(Window->MComEcho->Line(0), "console line 00501 of the simulated board");
}

TEST_F(SimulatorTest, LineWithoutLineFeedWaitsForIt)
{
    ConnectUntilInit();
    Command("nolf half a line");
    Command("say  and the rest");
    ASSERT_TRUE(WaitFor([&] { return Window->MComEcho->toPlainText().endsWith("half a line and the rest"); }));
}

} // namespace

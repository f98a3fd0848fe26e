#include "windowfixture.h"

#include <QScrollBar>

namespace {

using ConnectTest = WindowTest;

TEST_F(ConnectTest, ConnectResetsTheBoardAndReportsOnline)
{
    Connect();
    EXPECT_EQ(Window->PComState->Color(), QColor(128, 128, 0));
    EXPECT_EQ(Window->PAccess->text(), "NOT READY, INITIALIZE NOW");
    EXPECT_EQ(Window->PAccess->Color(), QColor(128, 0, 0));
    EXPECT_EQ(EchoLines(),
              QStringList({"Connecting...", "Board connected to " + QString::fromStdString(Board().Path())}));
}

TEST_F(ConnectTest, EchoStartsWithTheStartMarkerLine)
{
    Connect();
    Board().Write("boot noise\r\nQUORLANE_START");
    Board().Write("\r");
    Board().Write("\nfirst line\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->MComEcho->LineCount() == 4; }));
    EXPECT_EQ(EchoLines().mid(2), QStringList({"QUORLANE_START", "first line"}));
}

TEST_F(ConnectTest, JsonLineBeforeTheStartMarkerTurnsReadyWithoutEcho)
{
    Connect();
    Board().Write("QUORLANE_JSON {\"operate\":\"NONE\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PComState->text() == "READY"; }));
    EXPECT_EQ(Window->PComState->Color(), QColor(0, 128, 0));
    EXPECT_EQ(Window->MComEcho->LineCount(), 2);
}

TEST_F(ConnectTest, TwentyFiveHundredLinesLeaveTheLastTwoThousand)
{
    Connect();
    std::string console = "QUORLANE_START\r\n";
    for (int line = 1; line <= 2500; ++line) {
        console += "console line " + std::to_string(line) + "\r\n";
    }
    Board().Write(console);
    ASSERT_TRUE(
        WaitFor([&] { return Window->MComEcho->Line(Window->MComEcho->LineCount() - 1) == "console line 2500"; }));
    EXPECT_EQ(Window->MComEcho->LineCount(), 2000);
    EXPECT_EQ(Window->MComEcho->Line(0), "console line 501");
    QScrollBar* bar = Window->MComEcho->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(ConnectTest, ConnectOnAnOpenPortClosesResetsAndOpensAgain)
{
    Connect();
    Board().Write("QUORLANE_START\r\nQUORLANE_JSON {\"operate\":\"ACCESS\",\"ip\":\"1.2.3.4\",\"gate\":\"1.2.3.1\","
                  "\"mask\":\"255.0.0.0\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PCMain->IsTabShown(Window->TSFirmware); }));
    Click(Window->BComConn);
    EXPECT_EQ(Window->PComState->text(), "ONLINE");
    EXPECT_FALSE(Window->PCMain->IsTabShown(Window->TSFirmware));
    EXPECT_EQ(Window->PAccess->text(), "NOT READY, INITIALIZE NOW");
    EXPECT_TRUE(Window->Console.BoardIp.empty());
    Board().Write("QUORLANE_START\r\nagain\r\n");
    ASSERT_TRUE(WaitFor([&] { return EchoLines().contains("again"); }));
    EXPECT_EQ(EchoLines().first(), "Connecting...");
}

TEST_F(ConnectTest, DisconnectReturnsToWaitAndLocksAccess)
{
    Connect();
    Click(Window->BComDisconn);
    EXPECT_EQ(Window->PComState->text(), "WAIT");
    EXPECT_EQ(Window->PComState->Color(), QColor(128, 128, 128));
    EXPECT_EQ(Window->PAccess->text(), "NOT READY, CONNECT FIRST");
    EXPECT_FALSE(Window->SerialPort.Connected());
}

TEST_F(ConnectTest, MissingDeviceShowsTheErrorAndKeepsConnecting)
{
    OfferPorts({"/dev/quorlane-no-such-port"});
    Click(Window->BComRefresh);
    SelectPort("/dev/quorlane-no-such-port");
    Click(Window->BComConn);
    ASSERT_EQ(Boxes.size(), 1U);
    EXPECT_EQ(Boxes[0].Title, "Quorlane");
    EXPECT_EQ(Boxes[0].Text, QString::fromUtf8("Попытка открыть несуществующий COM-порт."));
    EXPECT_EQ(Window->PComState->text(), "WAIT");
    EXPECT_EQ(EchoLines(), QStringList{"Connecting..."});
    // The program goes on: the next connect to a real port works.
    Connect();
}

TEST_F(ConnectTest, VanishedDeviceReturnsToTheDisconnectedState)
{
    Connect();
    Board().Vanish();
    ASSERT_TRUE(WaitFor([&] { return Window->PComState->text() == "WAIT"; }, 3000));
    EXPECT_FALSE(Window->SerialPort.Connected());
    EXPECT_EQ(EchoLines().last(), "Lost connection to " + QString::fromStdString(Board().Path()));
}

// A screen reader finds each control by a name of its own and hears the state panel's text as it changes; Tab visits
// the page's controls in their order on screen.
TEST_F(ConnectTest, ControlsAreFoundByTheirAccessibleNamesAndVisitedWithTab)
{
    EXPECT_EQ(CaptionOf(Window->CBComPort), "Board COM-port:");
    EXPECT_EQ(SpokenControl("Board console"), Window->MComEcho);
    EXPECT_EQ(SpokenControl("Save log..."), Window->BSaveLog);
    QAccessibleInterface* state = QAccessible::queryAccessibleInterface(Window->PComState);
    EXPECT_EQ(state->text(QAccessible::Name), "Connection state");
    EXPECT_EQ(state->text(QAccessible::Description), "WAIT");
    Connect();
    EXPECT_EQ(state->text(QAccessible::Description), "ONLINE");
    EXPECT_EQ(TabVisits(Window->CBComPort, 7),
              QStringList({"CBComPort", "BComRefresh", "BComConn", "BComDisconn", "BComInit", "BSaveLog", "MComEcho"}));
}

using RefreshTest = WindowTest;

TEST_F(RefreshTest, KeepsThePositionNotTheName)
{
    AddBoard();
    AddBoard();
    Click(Window->BComRefresh);
    const int last = Window->CBComPort->count() - 1;
    Window->CBComPort->setCurrentIndex(last);
    Boards.pop_back();
    OfferPorts();
    Click(Window->BComRefresh);
    EXPECT_EQ(Window->CBComPort->count(), last);
    EXPECT_EQ(Window->CBComPort->currentIndex(), -1);
    Click(Window->BComConn);
    EXPECT_EQ(Window->PComState->text(), "WAIT");
    EXPECT_EQ(Window->MComEcho->LineCount(), 0);
}

TEST_F(RefreshTest, SelectedPositionIsSelectedAgain)
{
    AddBoard();
    Click(Window->BComRefresh);
    const int second = Window->CBComPort->findText(QString::fromStdString(Boards[1]->Path()));
    Window->CBComPort->setCurrentIndex(second);
    Click(Window->BComRefresh);
    EXPECT_EQ(Window->CBComPort->currentIndex(), second);
}

TEST_F(RefreshTest, RefreshDisconnects)
{
    Connect();
    Click(Window->BComRefresh);
    EXPECT_FALSE(Window->SerialPort.Connected());
    EXPECT_EQ(Window->PComState->text(), "WAIT");
}

TEST_F(RefreshTest, ChoosingAnotherPortDisconnectsWithoutConnecting)
{
    AddBoard();
    Click(Window->BComRefresh);
    Connect();
    const int other = Window->CBComPort->findText(QString::fromStdString(Boards[1]->Path()));
    Window->CBComPort->setCurrentIndex(other);
    emit Window->CBComPort->activated(other);
    EXPECT_FALSE(Window->SerialPort.Connected());
    EXPECT_EQ(Window->PComState->text(), "WAIT");
}

} // namespace

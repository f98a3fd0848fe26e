#include "windowfixture.h"

namespace {

const std::string InitLine =
    "QUORLANE_JSON {\"operate\":\"INIT\",\"ssid\":\"home\",\"pass\":\"secret\",\"board_name\":\"quorl\","
    "\"board_pass\":\"bp1\",\"init_ssid\":\"QUORL_AP\",\"init_pass\":\"appass\",\"net_ip\":\"\",\"net_gate\":\"\","
    "\"net_mask\":\"\",\"scan\":[\"cafe\",\"lab\"]}\r\n";

class AccessTest : public WindowTest
{
protected:
    // Connects and lets the board send its start marker and INIT.
    void ConnectAndInit()
    {
        Connect();
        Board().Write("QUORLANE_START\r\nchatter\r\n" + InitLine);
        ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text() == "READY FOR SETUP WI-FI ACCESS"; }));
    }
};

TEST_F(AccessTest, InitFillsAndUnlocksThePage)
{
    ConnectAndInit();
    EXPECT_EQ(Window->PAccess->Color(), QColor(128, 128, 0));
    EXPECT_EQ(Window->PComState->text(), "READY");
    EXPECT_EQ(Window->CBSsid->currentText(), "home");
    EXPECT_EQ(Window->CBSsid->count(), 2);
    EXPECT_EQ(Window->CBSsid->itemText(0), "cafe");
    EXPECT_EQ(Window->CBSsid->itemText(1), "lab");
    EXPECT_EQ(Window->EWFPass->text(), "secret");
    EXPECT_EQ(Window->EBoardName->text(), "quorl");
    EXPECT_EQ(Window->EBoardPass->text(), "bp1");
    EXPECT_EQ(Window->EInitSsid->text(), "QUORL_AP");
    EXPECT_EQ(Window->EInitPass->text(), "appass");
    EXPECT_EQ(Window->BoardPassword, "bp1");
    for (QWidget* input : {static_cast<QWidget*>(Window->CBSsid), static_cast<QWidget*>(Window->ENetMask),
                           static_cast<QWidget*>(Window->BAccessSave)}) {
        EXPECT_TRUE(input->isEnabled()) << input->objectName().toStdString();
    }
}

TEST_F(AccessTest, PasswordsAreMaskedOnScreenUntilTheUserRevealsThem)
{
    ConnectAndInit();
    // The console shows the INIT line with its password values masked.
    const QString shown = EchoLines().filter("QUORLANE_JSON").value(0);
    EXPECT_TRUE(shown.contains("\"ssid\":\"home\"")) << shown.toStdString();
    for (const char* secret : {"secret", "bp1", "appass"}) {
        EXPECT_FALSE(shown.contains(secret)) << shown.toStdString();
    }
    const QList<QLineEdit*> passwords{Window->EWFPass, Window->EBoardPass, Window->EInitPass};
    for (QLineEdit* password : passwords) {
        EXPECT_EQ(password->echoMode(), QLineEdit::Password) << password->objectName().toStdString();
    }
    Click(Window->BShowPasswords);
    for (QLineEdit* password : passwords) {
        EXPECT_EQ(password->echoMode(), QLineEdit::Normal) << password->objectName().toStdString();
    }
    // A new connection masks them again.
    Click(Window->BComDisconn);
    EXPECT_EQ(Window->EWFPass->echoMode(), QLineEdit::Password);
}

TEST_F(AccessTest, EnterInTheSsidBoxDoesNotAddToTheBoardsNetworks)
{
    ConnectAndInit();
    Window->CBSsid->setFocus();
    Window->CBSsid->lineEdit()->selectAll();
    QTest::keyClicks(Window->CBSsid->lineEdit(), "typed");
    QTest::keyClick(Window->CBSsid->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Window->CBSsid->count(), 2);
    EXPECT_EQ(Window->CBSsid->currentText(), "typed");
}

TEST_F(AccessTest, InitWithoutNetMaskKeepsWhatWasDone)
{
    Connect();
    Window->ENetMask->setText("kept");
    Board().Write("QUORLANE_JSON {\"operate\":\"INIT\",\"ssid\":\"s\",\"pass\":\"p\",\"board_name\":\"n\","
                  "\"board_pass\":\"b\",\"init_ssid\":\"i\",\"init_pass\":\"j\",\"net_ip\":\"1\","
                  "\"net_gate\":\"2\",\"scan\":[\"x\"]}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->ENetGate->text() == "2"; }));
    EXPECT_EQ(Window->ENetMask->text(), "kept");
    EXPECT_EQ(Window->CBSsid->count(), 0);
    EXPECT_TRUE(Window->BAccessSave->isEnabled());
}

TEST_F(AccessTest, SaveSendsTheNineFieldsAsOneUtf8Line)
{
    ConnectAndInit();
    Window->CBSsid->setEditText(QString::fromUtf8("Café"));
    Window->ENetIp->setText("192.168.1.50");
    Window->EBoardPass->setText("newpass");
    Click(Window->BAccessSave);
    EXPECT_EQ(Window->PAccess->text(), "SAVED");
    EXPECT_EQ(Window->PAccess->Color(), QColor(128, 128, 0));
    EXPECT_EQ(Window->BoardPassword, "newpass");
    const std::string received = Board().ReadUntil('\n', 3000);
    EXPECT_EQ(received, "{\"ssid\":\"Caf\xC3\xA9\",\"pass\":\"secret\",\"board_name\":\"quorl\","
                        "\"board_pass\":\"newpass\",\"init_ssid\":\"QUORL_AP\",\"init_pass\":\"appass\","
                        "\"net_ip\":\"192.168.1.50\",\"net_gate\":\"\",\"net_mask\":\"\"}\n");
    EXPECT_TRUE(Boxes.empty());
}

// A write that times out before the whole line went out is an error, not "SAVED" alone.
TEST_F(AccessTest, SaveThatCannotWriteTheWholeLineShowsAnError)
{
    ConnectAndInit();
    Window->SerialPort.Timeouts().SetWriteTotalMultiplier(0);
    Window->SerialPort.Timeouts().SetWriteTotalConstant(100);
    Window->SerialPort.WriteText(std::string(65536, 'x'));
    Click(Window->BAccessSave);
    ASSERT_EQ(Boxes.size(), 1U);
    EXPECT_EQ(Boxes[0].Title, "Quorlane");
    EXPECT_TRUE(Boxes[0].Text.startsWith("Settings not sent")) << Boxes[0].Text.toStdString();
}

TEST_F(AccessTest, SaveOnAClosedPortShowsThePortError)
{
    ConnectAndInit();
    Window->SerialPort.ClosePort();
    Click(Window->BAccessSave);
    EXPECT_EQ(Window->PAccess->text(), "SAVED");
    ASSERT_EQ(Boxes.size(), 1U);
    EXPECT_EQ(Boxes[0].Text, QString::fromUtf8("Ошибка записи в порт."));
}

TEST_F(AccessTest, AccessShowsTheAddressAndTheHiddenTabs)
{
    ConnectAndInit();
    Board().Write("QUORLANE_JSON {\"operate\":\"ACCESS\",\"ip\":\"192.168.1.20\",\"gate\":\"192.168.1.1\","
                  "\"mask\":\"255.255.255.0\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->Color() == QColor(0, 128, 0); }));
    EXPECT_EQ(Window->PAccess->text(), "GOT ACCESS! IP:192.168.1.20 Gateway:192.168.1.1 Netmask:255.255.255.0");
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSFirmware));
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSSetup));
    Click(Window->PAccess);
    EXPECT_EQ(Window->ENetIp->text(), "192.168.1.20");
    EXPECT_EQ(Window->ENetGate->text(), "192.168.1.1");
    EXPECT_EQ(Window->ENetMask->text(), "255.255.255.0");
}

// Each field has a name of its own for screen readers (the group's title named them all before); Tab visits the
// page top to bottom, and the panel, a button to screen readers, copies the address on Space as on a click.
TEST_F(AccessTest, FieldsAreFoundByTheirAccessibleNamesAndThePanelIsPressedFromTheKeyboard)
{
    ConnectAndInit();
    const std::pair<const char*, QWidget*> fields[] = {
        {"Wi-Fi password", Window->EWFPass}, {"IP", Window->ENetIp},
        {"Gateway", Window->ENetGate},       {"Netmask", Window->ENetMask},
        {"Board name", Window->EBoardName},  {"Board password", Window->EBoardPass},
        {"Hotspot SSID", Window->EInitSsid}, {"Hotspot password", Window->EInitPass}};
    for (const auto& [name, field] : fields) {
        EXPECT_EQ(SpokenControl(name), field) << name;
        EXPECT_FALSE(CaptionOf(field).isEmpty()) << name;
    }
    EXPECT_EQ(CaptionOf(Window->CBSsid), "SSID ");
    SelectTabByUser(Window->TSAccess);
    EXPECT_EQ(TabVisits(Window->PAccess, 12),
              QStringList({"PAccess", "CBSsid", "EWFPass", "ENetIp", "ENetGate", "ENetMask", "EBoardName", "EBoardPass",
                           "EInitSsid", "EInitPass", "BAccessSave", "BShowPasswords"}));

    Board().Write("QUORLANE_JSON {\"operate\":\"ACCESS\",\"ip\":\"192.168.1.20\",\"gate\":\"192.168.1.1\","
                  "\"mask\":\"255.255.255.0\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->Color() == QColor(0, 128, 0); }));
    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(Window->PAccess);
    EXPECT_EQ(panel->role(), QAccessible::Button);
    EXPECT_EQ(panel->text(QAccessible::Name), "Board access");
    EXPECT_EQ(panel->text(QAccessible::Description), Window->PAccess->text());
    Window->PAccess->setFocus();
    QTest::keyClick(Window->PAccess, Qt::Key_Space);
    EXPECT_EQ(Window->ENetIp->text(), "192.168.1.20");
}

TEST_F(AccessTest, AccessBeforeInitShowsTabsWhileThePageStaysLocked)
{
    Connect();
    Board().Write("QUORLANE_JSON {\"operate\":\"ACCESS\",\"ip\":\"10.0.0.9\",\"gate\":\"10.0.0.1\","
                  "\"mask\":\"255.0.0.0\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PCMain->IsTabShown(Window->TSSetup); }));
    EXPECT_FALSE(Window->BAccessSave->isEnabled());
}

TEST_F(AccessTest, PanelClickBeforeAnyAccessEmptiesTheNetworkFields)
{
    ConnectAndInit();
    Window->ENetIp->setText("1.1.1.1");
    Click(Window->PAccess);
    EXPECT_TRUE(Window->ENetIp->text().isEmpty());
}

TEST_F(AccessTest, RebootResetsTheBoardAndTheConsole)
{
    ConnectAndInit();
    Board().Write("QUORLANE_JSON {\"operate\":\"ACCESS\",\"ip\":\"1.2.3.4\",\"gate\":\"1.2.3.1\","
                  "\"mask\":\"255.0.0.0\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return !Window->Console.BoardIp.empty(); }));
    Board().Write("QUORLANE_JSON {\"operate\":\"REBOOT\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PAccess->text() == "REBOOT..."; }));
    EXPECT_EQ(Window->PAccess->Color(), QColor(128, 128, 128));
    EXPECT_EQ(EchoLines(), QStringList{"Rebooting..."});
    EXPECT_FALSE(Window->Console.EchoOn);
    EXPECT_TRUE(Window->Console.BoardIp.empty());
    // Inputs and tabs stay as they were; the echo waits for the next start marker.
    EXPECT_TRUE(Window->BAccessSave->isEnabled());
    EXPECT_TRUE(Window->PCMain->IsTabShown(Window->TSFirmware));
    Board().Write("late chatter\r\nQUORLANE_START\r\nbooted\r\n");
    ASSERT_TRUE(WaitFor([&] { return EchoLines().contains("booted"); }));
    EXPECT_EQ(EchoLines(), QStringList({"Rebooting...", "QUORLANE_START", "booted"}));
}

// Each REBOOT used to hold the window for half a second, so a read of 60 froze it for half a minute. They now join
// one reset pulse, and the window serves its events while the board is held in reset (a blocking wait would serve
// one or two). A port closed during the pulse is left alone when it ends.
TEST_F(AccessTest, SixtyRebootsJoinOnePulseDuringWhichTheWindowServesItsEvents)
{
    ConnectAndInit();
    const auto* pulse = Window->findChild<QTimer*>("RebootPulse");
    ASSERT_NE(pulse, nullptr);
    int pulses = 0;
    int servedDuringPulses = 0;
    bool pulsing = false;
    QTimer eventLoopPass;
    eventLoopPass.setInterval(0);
    QObject::connect(&eventLoopPass, &QTimer::timeout, [&] {
        pulses += pulse->isActive() && !pulsing;
        pulsing = pulse->isActive();
        servedDuringPulses += pulsing;
    });
    eventLoopPass.start();
    std::string reboots;
    for (int reboot = 0; reboot < 60; ++reboot) {
        reboots += "QUORLANE_JSON {\"operate\":\"REBOOT\"}\r\n";
    }
    Board().Write(reboots + "QUORLANE_START\r\nback\r\n");
    ASSERT_TRUE(WaitFor([&] { return EchoLines().contains("back") && pulses == 1 && !pulsing; }));
    EXPECT_GT(servedDuringPulses, 10);
    EXPECT_EQ(EchoLines(), QStringList({"Rebooting...", "QUORLANE_START", "back"}));

    Board().Write("QUORLANE_JSON {\"operate\":\"REBOOT\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return pulsing; }));
    Click(Window->BComDisconn);
    ASSERT_TRUE(WaitFor([&] { return !pulsing; }));
    EXPECT_EQ(pulses, 2);
    EXPECT_TRUE(Boxes.empty());
}

// The reset pulse fails on a closed port: the handling ends there, silently, and nothing after it is done.
TEST_F(AccessTest, RebootThatCannotPulseTheBoardEndsSilently)
{
    ASSERT_THROW(Window->SerialPort.SetDTRLine(false), EComPort);
    Window->MComEcho->AddLine("kept");
    EXPECT_NO_THROW(Window->HandleBoardMessage(" {\"operate\":\"REBOOT\"}\r"));
    EXPECT_EQ(EchoLines(), QStringList{"kept"});
    EXPECT_EQ(Window->PAccess->text(), "NOT READY, CONNECT FIRST");
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(AccessTest, LowerCaseInitDoesNothing)
{
    Connect();
    Board().Write("QUORLANE_JSON {\"operate\":\"init\",\"ssid\":\"s\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Window->PComState->text() == "READY"; }));
    EXPECT_EQ(Window->PAccess->text(), "NOT READY, INITIALIZE NOW");
    EXPECT_FALSE(Window->BAccessSave->isEnabled());
}

} // namespace

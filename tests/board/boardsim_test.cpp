#include "handover.h"
#include "linuxportdriver.h"
#include "serialport.h"
#include "servehandover.h"
#include "serverprocess.h"
#include "tempdir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace quorlane::testsupport;

// Starts the board simulator with its pty path and settings log in a temporary directory, and stops it by
// its process id.
class BoardSimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string ptyFile = Dir.File("pty");
        const std::string control = Dir.File("control");
        const std::vector<std::string> argv{QUORLANE_BOARDSIM,        "--pty-file", ptyFile, "--log",
                                            Dir.File("settings.log"), "--control",  control};
        Simulator = std::make_unique<TServerProcess>(argv, Dir.File("boardsim.out"));
        ASSERT_TRUE(
            WaitFor([&] { return std::filesystem::exists(ptyFile) && std::filesystem::exists(control); }, 10000));
        std::ifstream(ptyFile) >> PtyPath;
        Port = std::make_unique<TSerialPort>(std::make_unique<TLinuxPortDriver>(), HandOver);
        Port->SetPort(PtyPath);
        Port->OnRxChar = [this](TSerialPort& port, int count) {
            std::string data;
            port.ReadText(data, count);
            Received += data;
            ++Events;
        };
    }

    void TearDown() override
    {
        Port.reset();
        Simulator.reset();
    }

    bool WaitFor(const std::function<bool()>& done, int milliseconds)
    {
        return ServeHandOverUntil(HandOver, done, milliseconds);
    }

    void Command(const std::string& text) { std::ofstream(Dir.File("control")) << text << "\n"; }

    bool Holds(const std::string& text) const { return Received.find(text) != std::string::npos; }

    TTempDir Dir;
    std::unique_ptr<TServerProcess> Simulator;
    std::string PtyPath;
    THandOver HandOver;
    std::unique_ptr<TSerialPort> Port;
    std::string Received;
    int Events = 0;
};

TEST_F(BoardSimTest, OpeningThePortBootsTheBoardWithNoiseStartMarkerAndInit)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(WaitFor([&] { return Holds("\"scan\""); }, 5000)) << Received;
    const std::size_t start = Received.find("QUORLANE_START\r\n");
    ASSERT_NE(start, std::string::npos);
    EXPECT_GT(start, 0u) << "boot noise comes before the start marker";
    const std::size_t init = Received.find("QUORLANE_JSON {\"operate\": \"INIT\"");
    ASSERT_NE(init, std::string::npos);
    EXPECT_GT(init, start);
    EXPECT_TRUE(Holds("]}\r\n"));
}

TEST_F(BoardSimTest, SettingsLineIsLoggedAndAnsweredWithAccess)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(WaitFor([&] { return Holds("\"scan\""); }, 5000));
    const std::string line = "{\"ssid\":\"caf\xc3\xa9\",\"pass\":\"p\",\"board_name\":\"b\",\"board_pass\":\"x\","
                             "\"init_ssid\":\"i\",\"init_pass\":\"j\",\"net_ip\":\"10.0.0.9\",\"net_gate\":\"\","
                             "\"net_mask\":\"\"}\n";
    EXPECT_EQ(Port->WriteText(line), static_cast<int>(line.size()));
    ASSERT_TRUE(WaitFor([&] { return Holds("\"ACCESS\""); }, 5000)) << Received;
    EXPECT_TRUE(Holds("\"ip\": \"10.0.0.9\""));
    EXPECT_EQ(ReadWholeFile(Dir.File("settings.log")), line);
}

TEST_F(BoardSimTest, SettingsLineWithACarriageReturnIsRejected)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(WaitFor([&] { return Holds("\"scan\""); }, 5000));
    Port->WriteText("{\"ssid\":\"a\"}\r\n");
    ASSERT_TRUE(WaitFor([&] { return Holds("settings: rejected"); }, 5000)) << Received;
    EXPECT_FALSE(Holds("ACCESS"));
}

TEST_F(BoardSimTest, CommandedLinesAllArriveAndReopeningBootsAgain)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(WaitFor([&] { return Holds("\"scan\""); }, 5000));
    Command("lines 2500");
    ASSERT_TRUE(WaitFor([&] { return Holds("console line 02500"); }, 10000));
    EXPECT_TRUE(Holds("console line 00001 of the simulated board\r\n"));
    ASSERT_TRUE(Port->ClosePort());
    // The board notices a closed port within its polling pause (the window waits a second before reopening).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Received.clear();
    ASSERT_TRUE(Port->OpenPort());
    EXPECT_TRUE(WaitFor([&] { return Holds("QUORLANE_START\r\n"); }, 5000));
}

TEST_F(BoardSimTest, SplitMessageArrivesOverManyEventsAndRebootStartsTheBoardAgain)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(WaitFor([&] { return Holds("\"scan\""); }, 5000));
    Received.clear();
    Events = 0;
    Command("split");
    ASSERT_TRUE(WaitFor([&] { return Holds("]}\r\n"); }, 10000)) << Received;
    EXPECT_GT(Events, 5);
    EXPECT_EQ(Received.rfind("QUORLANE_JSON {\"operate\": \"INIT\"", 0), 0u) << Received;

    Received.clear();
    Command("reboot");
    ASSERT_TRUE(WaitFor([&] { return Holds("\"scan\""); }, 5000)) << Received;
    const std::size_t reboot = Received.find("QUORLANE_JSON {\"operate\": \"REBOOT\"}\r\n");
    ASSERT_NE(reboot, std::string::npos);
    EXPECT_GT(Received.find("QUORLANE_START\r\n"), reboot);
}

TEST_F(BoardSimTest, MalformedMessageAndLineWithoutLineFeedAreSentAsTold)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(WaitFor([&] { return Holds("\"scan\""); }, 5000));
    Received.clear();
    Command("malformed");
    Command("nolf half a line");
    ASSERT_TRUE(WaitFor([&] { return Holds("half a line"); }, 5000)) << Received;
    EXPECT_EQ(Received, "QUORLANE_JSON {\"operate\":\"INIT\",\"ssid\":\r\nhalf a line");
}

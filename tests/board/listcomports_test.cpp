#include "listcomports.h"
#include "serialport.h"
#include "tempdir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Names = std::vector<std::string>;

// A stand-in for /sys/class/tty in a temporary directory.
class ListComPortsTest : public ::testing::Test
{
protected:
    ListComPortsTest() : Root(Dir.Path()) { fs::create_directories(Root / "devices"); }

    void AddTty(const std::string& name, bool hardware, int uartType = -1)
    {
        fs::create_directories(Root / name);
        if (hardware) {
            fs::create_directories(Root / "devices" / name);
            fs::create_directory_symlink(Root / "devices" / name, Root / name / "device");
        }
        if (uartType >= 0)
            std::ofstream(Root / name / "type") << uartType << "\n";
    }

    Names List(const std::string& extra = "")
    {
        Names names{"stale"};
        ListComPortsFrom(Root.string(), extra, names);
        return names;
    }

    quorlane::testsupport::TTempDir Dir;
    fs::path Root;
};

TEST_F(ListComPortsTest, ListsOnlyTtysBackedByHardware)
{
    AddTty("ttyUSB0", true);
    AddTty("tty1", false);
    AddTty("ptmx", false);
    AddTty("ttyACM0", true);
    EXPECT_EQ(List(), (Names{"/dev/ttyACM0", "/dev/ttyUSB0"}));
}

TEST_F(ListComPortsTest, LeavesOutPlaceholderUartsButKeepsRealOnes)
{
    AddTty("ttyS0", true, 4);
    AddTty("ttyS1", true, 0);
    AddTty("ttyS2", true, 0);
    EXPECT_EQ(List(), Names{"/dev/ttyS0"});
}

TEST_F(ListComPortsTest, SortsCaseInsensitivelyWithDigitsAsCharacters)
{
    AddTty("ttyUSB2", true);
    AddTty("ttyUSB10", true);
    AddTty("ttyUSB1", true);
    AddTty("ttyacm0", true);
    EXPECT_EQ(List(), (Names{"/dev/ttyacm0", "/dev/ttyUSB1", "/dev/ttyUSB10", "/dev/ttyUSB2"}));
}

TEST_F(ListComPortsTest, AppendsExtraPortsAfterTheSortedOnesSkippingEmptiesAndRepeats)
{
    AddTty("ttyUSB0", true);
    EXPECT_EQ(List("/dev/pts/7::/tmp/board:/dev/ttyUSB0:/dev/pts/7:"),
              (Names{"/dev/ttyUSB0", "/dev/pts/7", "/tmp/board"}));
}

TEST_F(ListComPortsTest, EmptyClassGivesAnEmptyList)
{
    EXPECT_TRUE(List().empty());
}

TEST_F(ListComPortsTest, UnreadableClassRaisesMessage14AndLeavesTheListAlone)
{
    Names names{"kept"};
    try {
        ListComPortsFrom((Root / "missing").string(), "", names);
        ADD_FAILURE() << "no EComPort raised";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Index(), EComPort::PortListFailed);
        EXPECT_STREQ(error.what(), "Ошибка обращения к системному реестру");
    }
    EXPECT_EQ(names, Names{"kept"});
}

TEST(ListComPortsEnvironmentTest, ExtraPortsComeFromTheEnvironment)
{
    setenv("QUORLANE_EXTRA_PORTS", "/tmp/quorlane-test-port-a:/tmp/quorlane-test-port-b", 1);
    Names names;
    ListComPorts(names);
    unsetenv("QUORLANE_EXTRA_PORTS");
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "/tmp/quorlane-test-port-a");
    EXPECT_EQ(names.back(), "/tmp/quorlane-test-port-b");
}

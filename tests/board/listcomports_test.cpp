#include "listcomports.h"
#include "serialport.h"
#include "tempdir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Ports = std::vector<TComPort>;

// A stand-in for /sys/class/tty, the devices below it and /dev, in a temporary directory.
class ListComPortsTest : public ::testing::Test
{
protected:
    ListComPortsTest() : Root(Dir.Path()), Source{(Root / "class").string(), (Root / "dev").string()}
    {
        fs::create_directories(Root / "class");
        fs::create_directories(Root / "dev");
    }

    // A tty with no device behind it (a virtual console, ptmx).
    void AddVirtual(const std::string& name) { fs::create_directories(Root / "class" / name); }

    // A built-in UART; type 0 marks a placeholder the kernel made in advance.
    std::string AddUart(const std::string& name, int uartType = 4)
    {
        AddHardware(name, Root / "devices/platform/serial8250" / name);
        std::ofstream(Root / "class" / name / "type") << uartType << "\n";
        return Node(name);
    }

    // A USB serial adapter: its tty hangs below the interface of a USB device that carries the names.
    std::string AddUsb(const std::string& name, const std::string& manufacturer, const std::string& product,
                       const std::string& serial = "")
    {
        const fs::path device = Root / "devices/pci0000:00/usb1" / ("1-" + name);
        AddHardware(name, device / "1-1:1.0" / name);
        std::ofstream(device / "idVendor") << "1a86\n";
        std::ofstream(device / "idProduct") << "7523\n";
        if (!serial.empty())
            std::ofstream(device / "serial") << serial << "\n";
        if (!manufacturer.empty())
            std::ofstream(device / "manufacturer") << manufacturer << "\n";
        std::ofstream(device / "product") << product << "\n";
        return Node(name);
    }

    Ports List(const std::string& extra = "")
    {
        Ports ports{{"stale", "", ""}};
        ListComPortsFrom(Source, extra, ports);
        return ports;
    }

    quorlane::testsupport::TTempDir Dir;
    fs::path Root;
    TPortSource Source;

private:
    void AddHardware(const std::string& name, const fs::path& device)
    {
        fs::create_directories(device);
        fs::create_directories(Root / "class" / name);
        fs::create_directory_symlink(device, Root / "class" / name / "device");
        std::ofstream(Root / "dev" / name).flush();
    }

    std::string Node(const std::string& name) const { return (Root / "dev" / name).string(); }
};

TEST_F(ListComPortsTest, ListsOnlyTtysBackedByHardwareWhoseNodeExists)
{
    const std::string usb = AddUsb("ttyUSB0", "", "USB Serial");
    AddVirtual("tty1");
    AddVirtual("ptmx");
    AddUsb("ttyUSB1", "", "USB Serial");
    fs::remove(Root / "dev/ttyUSB1");
    EXPECT_EQ(List(), (Ports{{usb, "USB Serial", "usb:1a86:7523"}}));
}

TEST_F(ListComPortsTest, LeavesOutPlaceholderUartsButKeepsRealOnes)
{
    const std::string real = AddUart("ttyS0", 4);
    AddUart("ttyS1", 0);
    AddUart("ttyS2", 0);
    EXPECT_EQ(List(), (Ports{{real, "", ""}}));
}

// A machine with a built-in UART used to preselect it, and Connect on it showed ONLINE with no board there.
TEST_F(ListComPortsTest, UsbAdaptersAndExtraPortsComeBeforeBuiltInUarts)
{
    const std::string uart = AddUart("ttyS0");
    const std::string usb = AddUsb("ttyUSB0", "Silicon Labs", "CP2102 USB to UART Bridge Controller", "0001");
    EXPECT_EQ(List("/dev/pts/7::/tmp/board:" + usb + ":/dev/pts/7:" + uart),
              (Ports{{usb, "Silicon Labs CP2102 USB to UART Bridge Controller", "usb:0001"},
                     {"/dev/pts/7", "", ""},
                     {"/tmp/board", "", ""},
                     {uart, "", ""}}));
}

TEST_F(ListComPortsTest, AdapterNameSaysTheManufacturerOnce)
{
    const std::string a = AddUsb("ttyACM0", "Espressif", "Espressif USB JTAG/serial debug unit");
    const std::string b = AddUsb("ttyUSB0", "QinHeng Electronics", "USB Single Serial");
    EXPECT_EQ(List(), (Ports{{a, "Espressif USB JTAG/serial debug unit", "usb:1a86:7523"},
                             {b, "QinHeng Electronics USB Single Serial", "usb:1a86:7523"}}));
}

TEST_F(ListComPortsTest, SortsCaseInsensitivelyWithDigitsAsCharacters)
{
    const std::string two = AddUsb("ttyUSB2", "", "x");
    const std::string ten = AddUsb("ttyUSB10", "", "x");
    const std::string one = AddUsb("ttyUSB1", "", "x");
    const std::string acm = AddUsb("ttyacm0", "", "x");
    const std::string id = "usb:1a86:7523";
    EXPECT_EQ(List(), (Ports{{acm, "x", id}, {one, "x", id}, {ten, "x", id}, {two, "x", id}}));
}

TEST_F(ListComPortsTest, EmptyClassGivesAnEmptyList)
{
    EXPECT_TRUE(List().empty());
}

TEST_F(ListComPortsTest, UnreadableClassRaisesMessage14AndLeavesTheListAlone)
{
    Ports ports{{"kept", "", ""}};
    try {
        ListComPortsFrom({(Root / "missing").string(), Source.DevDir}, "", ports);
        ADD_FAILURE() << "no EComPort raised";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Index(), EComPort::PortListFailed);
        EXPECT_STREQ(error.what(), "Ошибка обращения к системному реестру");
    }
    EXPECT_EQ(ports, (Ports{{"kept", "", ""}}));
}

TEST(ListComPortsEnvironmentTest, ExtraPortsComeFromTheEnvironment)
{
    const quorlane::testsupport::TTempDir empty;
    setenv("QUORLANE_EXTRA_PORTS", "/tmp/quorlane-test-port-a:/tmp/quorlane-test-port-b", 1);
    Ports ports;
    ListComPorts(ports, {empty.Path(), empty.Path()});
    unsetenv("QUORLANE_EXTRA_PORTS");
    EXPECT_EQ(ports, (Ports{{"/tmp/quorlane-test-port-a", "", ""}, {"/tmp/quorlane-test-port-b", "", ""}}));
}

// The Connect page's port list while USB serial adapters are plugged in and out, against a stand-in sysfs and device
// tree that the window is pointed at: the list follows by itself, keeps the user's selection and a connected board,
// shows each adapter's name beside its path, and costs no CPU while nothing changes.

#include "tempdir.h"
#include "windowfixture.h"

#include <QEventLoop>

#include <sys/resource.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class PortListTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        fs::create_directories(Class);
        fs::create_directories(Dev);
        Window->SetPortSource({Class.string(), Dev.string()});
        Click(Window->BComRefresh);
    }

    // An adapter as the kernel shows it: its USB device with its names, the tty below its interface, the class entry,
    // and last the device node, whose appearance is what the window notices.
    std::string PlugIn(const std::string& name, const std::string& manufacturer, const std::string& product)
    {
        const fs::path device = Root / "devices/usb1" / ("1-" + name);
        const fs::path tty = device / "1-1:1.0" / name;
        fs::create_directories(tty);
        std::ofstream(device / "idVendor") << "10c4\n";
        std::ofstream(device / "manufacturer") << manufacturer << "\n";
        std::ofstream(device / "product") << product << "\n";
        fs::create_directories(Class / name);
        fs::create_directory_symlink(tty, Class / name / "device");
        std::ofstream(Dev / name).flush();
        return (Dev / name).string();
    }

    void Unplug(const std::string& name)
    {
        fs::remove(Dev / name);
        fs::remove_all(Class / name);
    }

    QStringList Paths() const
    {
        QStringList paths;
        for (int index = 0; index < Window->CBComPort->count(); ++index) {
            paths.append(Window->CBComPort->itemData(index).toString());
        }
        return paths;
    }

    bool ListFollows(int count)
    {
        return WaitFor([&] { return Window->CBComPort->count() == count; }, 1000);
    }

    QString Selected() const { return Window->CBComPort->currentData().toString(); }

    quorlane::testsupport::TTempDir Dir;
    fs::path Root{Dir.Path()};
    fs::path Class = Root / "class";
    fs::path Dev = Root / "dev";
};

TEST_F(PortListTest, ListFollowsTheCableKeepingTheSelectionAndTheConnectedBoard)
{
    const QString board = QString::fromStdString(Board().Path());
    ASSERT_EQ(Paths(), QStringList{board});
    Connect();

    const QString bridge =
        QString::fromStdString(PlugIn("ttyUSB0", "Silicon Labs", "CP2102 USB to UART Bridge Controller"));
    ASSERT_TRUE(ListFollows(2)) << "a plugged-in adapter was not listed within a second";
    EXPECT_EQ(Paths(), QStringList({bridge, board}));
    const QString shown = Window->CBComPort->itemText(0);
    EXPECT_TRUE(shown.startsWith(bridge) && shown.endsWith("Silicon Labs CP2102 USB to UART Bridge Controller"))
        << shown.toStdString();
    EXPECT_EQ(Window->CBComPort->itemText(1), board);

    const QString jtag = QString::fromStdString(PlugIn("ttyACM0", "Espressif", "Espressif USB JTAG/serial debug unit"));
    ASSERT_TRUE(ListFollows(3));
    EXPECT_EQ(Paths(), QStringList({jtag, bridge, board}));
    EXPECT_TRUE(Window->CBComPort->itemText(0).endsWith(" Espressif USB JTAG/serial debug unit"));

    Unplug("ttyUSB0");
    ASSERT_TRUE(ListFollows(2)) << "an unplugged adapter stayed listed for more than a second";
    EXPECT_EQ(Paths(), QStringList({jtag, board}));

    // The board stayed selected and connected throughout, wherever its entry moved.
    EXPECT_EQ(Selected(), board);
    EXPECT_TRUE(Window->SerialPort.Connected());
    EXPECT_EQ(Window->PComState->text(), "ONLINE");

    const double before = ProcessCpuSeconds();
    QEventLoop idle;
    QTimer::singleShot(1000, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_LT(ProcessCpuSeconds() - before, 0.05) << "CPU seconds used in one second while no port changed";
}

} // namespace

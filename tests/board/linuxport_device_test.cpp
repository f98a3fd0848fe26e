#include "ptyportfixture.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <atomic>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

termios2 DeviceSettings(int master)
{
    termios2 tio{};
    ioctl(master, TCGETS2, &tio);
    return tio;
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST_F(PtyPortTest, AllFifteenRatesReachTheDevice)
{
    const std::uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
    ASSERT_TRUE(Port->OpenPort());
    for (int rate = br110; rate <= br256000; ++rate) {
        Port->SetBaudRate(static_cast<TBaudRate>(rate));
        EXPECT_EQ(DeviceSettings(Master).c_ospeed, rates[rate]) << "rate " << rates[rate];
    }
}

// A pseudo-terminal always keeps 8 data bits without parity; the rest of the settings reach it.
TEST_F(PtyPortTest, LineSettingsReachTheDeviceRaw)
{
    Port->SetStopBits(sb2);
    ASSERT_TRUE(Port->OpenPort());
    const termios2 tio = DeviceSettings(Master);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CLOCAL);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);
}

TEST(LinuxPortTermiosTest, FramingMapsOntoTheControlFlags)
{
    TPortLineSettings settings;
    settings.ByteSize = 7;
    settings.Parity = 4;
    settings.StopBits = 1;
    settings.ParityCheck = true;
    termios2 tio{};
    TLinuxPortDriver::FillTermios(settings, tio);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(tio.c_cflag & (PARENB | CMSPAR | PARODD), static_cast<tcflag_t>(PARENB | CMSPAR));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_iflag & INPCK);

    settings.ByteSize = 5;
    settings.Parity = 1;
    settings.StopBits = 0;
    TLinuxPortDriver::FillTermios(settings, tio);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS5));
    EXPECT_EQ(tio.c_cflag & (PARENB | CMSPAR | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
}

TEST(LinuxPortTermiosTest, RatesWithoutAConstantUseAnExplicitSpeed)
{
    TPortLineSettings settings;
    termios2 tio{};
    settings.BaudRate = 115200;
    TLinuxPortDriver::FillTermios(settings, tio);
    EXPECT_EQ(tio.c_cflag & CBAUD, static_cast<tcflag_t>(B115200));
    settings.BaudRate = 14400;
    TLinuxPortDriver::FillTermios(settings, tio);
    EXPECT_EQ(tio.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(tio.c_ispeed, 14400u);
    EXPECT_EQ(tio.c_ospeed, 14400u);
}

// Regression: a read that found nothing waiting was taken for a hang-up and the port reported lost.
TEST_F(PtyPortTest, EmptyReadsDoNotCountAsAVanishedDevice)
{
    std::atomic<int> lost = 0;
    Port->OnPortLost = [&](TSerialPort&) { ++lost; };
    ASSERT_TRUE(Port->OpenPort());
    std::string data;
    EXPECT_EQ(Port->ReadText(data, 10), 0);
    WriteToPort("still here");
    ASSERT_TRUE(ServeUntil([&] { return Port->BytesWaiting() == 10; }));
    EXPECT_EQ(Port->ReadText(data, 100), 10);
    EXPECT_FALSE(Port->Lost());
    EXPECT_EQ(lost, 0);
}

TEST_F(PtyPortTest, ModemLineCallsOnADeviceWithoutModemLinesDoNothingAndSucceed)
{
    ASSERT_TRUE(Port->OpenPort());
    EXPECT_NO_THROW(Port->SetDTRLine(false));
    EXPECT_NO_THROW(Port->SetRTSLine(true));
    EXPECT_EQ(Port->ModemSignals(), 0);
}

TEST_F(PtyPortTest, MissingDeviceRaisesMessageZero)
{
    Port->SetPort("/dev/quorlane-no-such-port");
    try {
        Port->OpenPort();
        ADD_FAILURE() << "opened a missing device";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Index(), EComPort::NotFound) << error.what();
    }
    EXPECT_FALSE(Port->Connected());
}

TEST_F(PtyPortTest, PortOpenInAnotherInstanceRaisesMessageOne)
{
    ASSERT_TRUE(Port->OpenPort());
    TSerialPort second(std::make_unique<TLinuxPortDriver>(), HandOver);
    second.SetPort(SlavePath);
    try {
        second.OpenPort();
        ADD_FAILURE() << "a held port was opened twice";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Index(), EComPort::Busy) << error.what();
    }
    EXPECT_FALSE(second.Connected());
}

TEST_F(PtyPortTest, PortIsFreeForOthersAfterClose)
{
    ASSERT_TRUE(Port->OpenPort());
    ASSERT_TRUE(Port->ClosePort());
    TSerialPort second(std::make_unique<TLinuxPortDriver>(), HandOver);
    second.SetPort(SlavePath);
    EXPECT_TRUE(second.OpenPort());
}

// The check runs in a child without the rights to the device (a user not in the dialout group).
TEST_F(PtyPortTest, DeviceWithoutPermissionRaisesTheNoPermissionMessage)
{
    ASSERT_EQ(chmod(SlavePath.c_str(), 0600), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool root = geteuid() == 0;
        if (root && setuid(65534) != 0)
            _exit(3);
        if (!root && chmod(SlavePath.c_str(), 0) != 0)
            _exit(3);
        TLinuxPortDriver driver;
        _exit(driver.Open(SlavePath) == EOpenResult::AccessDenied ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(LinuxPortErrorMappingTest, OpenFailuresMapToThePortsReasons)
{
    EXPECT_EQ(TLinuxPortDriver::OpenResultFromErrno(ENOENT), EOpenResult::NotFound);
    EXPECT_EQ(TLinuxPortDriver::OpenResultFromErrno(ENXIO), EOpenResult::NotFound);
    EXPECT_EQ(TLinuxPortDriver::OpenResultFromErrno(EBUSY), EOpenResult::Busy);
    EXPECT_EQ(TLinuxPortDriver::OpenResultFromErrno(EWOULDBLOCK), EOpenResult::Busy);
    EXPECT_EQ(TLinuxPortDriver::OpenResultFromErrno(EACCES), EOpenResult::AccessDenied);
    EXPECT_EQ(TLinuxPortDriver::OpenResultFromErrno(EPERM), EOpenResult::AccessDenied);
    EXPECT_EQ(TLinuxPortDriver::OpenResultFromErrno(EIO), EOpenResult::OtherFailure);
}

TEST(LinuxPortErrorMappingTest, ANonTerminalCannotBeOpenedAsAPort)
{
    THandOver handOver;
    TSerialPort port(std::make_unique<TLinuxPortDriver>(), handOver);
    port.SetPort("/dev/null");
    try {
        port.OpenPort();
        ADD_FAILURE() << "opened /dev/null as a port";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Index(), EComPort::SetupFailed) << error.what();
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(PtyPortTest, VanishedDeviceIsReportedWithinASecondAndKeepsNoCoreBusy)
{
    std::atomic<int> lost = 0;
    Port->OnPortLost = [&](TSerialPort&) { ++lost; };
    ASSERT_TRUE(Port->OpenPort());
    CloseMaster();
    ASSERT_TRUE(ServeUntil([&] { return lost == 1; }, 1000)) << "the loss was not reported within a second";

    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double used = ProcessCpuSeconds() - before;
    EXPECT_LT(used, 0.02) << "CPU seconds used in one second while the device was gone";

    ServeUntil([] { return false; }, 200);
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(Port->ClosePort());
    EXPECT_FALSE(Port->Connected());
}

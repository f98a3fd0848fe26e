#include "fakeportfixture.h"

#include <algorithm>
#include <string>
#include <vector>

using Log = std::vector<std::string>;

namespace {

bool Contains(const Log& log, const std::string& entry)
{
    return std::find(log.begin(), log.end(), entry) != log.end();
}

} // namespace

TEST_F(FakePortTest, OpenAppliesQueuesLineSettingsTimeoutsThenEventMaskInThatOrder)
{
    Port->SetPort("/dev/ttyTEST");
    ASSERT_TRUE(Port->OpenPort());
    const Log expected{"Open /dev/ttyTEST", "SetupQueues 2048 2048", "SetLineSettings 9600", "SetTimeouts",
                       "SetEventMask 1469"};
    const Log log = Driver->Log();
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(Log(log.begin(), log.begin() + expected.size()), expected);
}

TEST_F(FakePortTest, DefaultLineSettingsAre9600Baud8N1WithDtrAndRtsRaised)
{
    ASSERT_TRUE(Port->OpenPort());
    const TPortLineSettings settings = Driver->LastLineSettings();
    EXPECT_EQ(settings.BaudRate, 9600u);
    EXPECT_EQ(settings.ByteSize, 8);
    EXPECT_EQ(settings.Parity, 0);
    EXPECT_EQ(settings.StopBits, 0);
    EXPECT_FALSE(settings.ParityCheck);
    EXPECT_TRUE(settings.DtrEnable);
    EXPECT_TRUE(settings.RtsEnable);
    EXPECT_EQ(settings.XonChar, 17);
    EXPECT_EQ(settings.XoffChar, 19);
}

TEST_F(FakePortTest, EveryRateOfTheTableReachesTheDriver)
{
    const std::uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
    ASSERT_TRUE(Port->OpenPort());
    for (int rate = br110; rate <= br256000; ++rate) {
        Port->SetBaudRate(static_cast<TBaudRate>(rate));
        EXPECT_EQ(Driver->LastLineSettings().BaudRate, rates[rate]);
    }
}

TEST_F(FakePortTest, ByteSizeParityAndStopBitsMapToTheirOrdinals)
{
    ASSERT_TRUE(Port->OpenPort());
    Port->SetByteSize(bs5);
    Port->SetParity(paMark);
    Port->SetStopBits(sb1_5);
    const TPortLineSettings settings = Driver->LastLineSettings();
    EXPECT_EQ(settings.ByteSize, 5);
    EXPECT_EQ(settings.Parity, 3);
    EXPECT_TRUE(settings.ParityCheck);
    EXPECT_EQ(settings.StopBits, 1);
}

TEST_F(FakePortTest, EachLineSettingChangeWhileOpenAppliesAtOnceAndRaisesDtrAndRts)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Port->SetBaudRate(br115200);
    Port->SetByteSize(bs7);
    Port->SetParity(paEven);
    Port->SetStopBits(sb2);
    const Log log = Driver->Log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.starts_with("SetLine"); }), 4);
    const TPortLineSettings settings = Driver->LastLineSettings();
    EXPECT_TRUE(settings.DtrEnable);
    EXPECT_TRUE(settings.RtsEnable);
    EXPECT_EQ(settings.BaudRate, 115200u);
}

TEST_F(FakePortTest, SettingTheCurrentValueAppliesNothing)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Port->SetBaudRate(br9600);
    Port->SetByteSize(bs8);
    Port->SetParity(paNone);
    Port->SetStopBits(sb1);
    Port->SetInBufSize(2048);
    Port->Timeouts().SetWriteTotalConstant(1000);
    EXPECT_TRUE(Driver->Log().empty());
}

TEST_F(FakePortTest, SettingsMadeWhileClosedReachTheDriverOnlyAtOpen)
{
    Port->SetBaudRate(br57600);
    Port->SetInBufSize(4096);
    Port->Timeouts().SetReadInterval(10);
    EXPECT_TRUE(Driver->Log().empty());
    ASSERT_TRUE(Port->OpenPort());
    EXPECT_EQ(Driver->LastLineSettings().BaudRate, 57600u);
    EXPECT_TRUE(Contains(Driver->Log(), "SetupQueues 4096 2048"));
    EXPECT_EQ(Driver->LastTimeouts().ReadInterval, 10u);
}

TEST_F(FakePortTest, OddBufferSizesLoseOneAndEvenSizesStay)
{
    Port->SetInBufSize(1025);
    EXPECT_EQ(Port->InBufSize(), 1024);
    Port->SetOutBufSize(4096);
    EXPECT_EQ(Port->OutBufSize(), 4096);
    Port->SetOutBufSize(4097);
    EXPECT_EQ(Port->OutBufSize(), 4096);
}

TEST_F(FakePortTest, BufferSizeChangeWhileOpenAppliesAtOnce)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Port->SetOutBufSize(513);
    EXPECT_EQ(Driver->Log(), Log{"SetupQueues 2048 512"});
}

TEST_F(FakePortTest, RefusedBufferSizeRaisesSetupMessage)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->FailCall("SetupQueues");
    EXPECT_COM_ERROR(Port->SetInBufSize(8), EComPort::SetupFailed);
}

TEST_F(FakePortTest, PortNameIsLockedWhileOpenEvenForTheSameName)
{
    Port->SetPort("/dev/ttyA");
    ASSERT_TRUE(Port->OpenPort());
    EXPECT_COM_ERROR(Port->SetPort("/dev/ttyA"), EComPort::PropertyLocked);
    EXPECT_COM_ERROR(Port->SetPort("/dev/ttyB"), EComPort::PropertyLocked);
    EXPECT_EQ(Port->Port(), "/dev/ttyA");
}

TEST_F(FakePortTest, SyncMethodIsLockedWhileOpenExceptForItsCurrentValue)
{
    ASSERT_TRUE(Port->OpenPort());
    Port->SetSyncMethod(smThreadSync);
    EXPECT_COM_ERROR(Port->SetSyncMethod(smNone), EComPort::PropertyLocked);
    EXPECT_EQ(Port->SyncMethod(), smThreadSync);
    ASSERT_TRUE(Port->ClosePort());
    Port->SetSyncMethod(smNone);
    EXPECT_EQ(Port->SyncMethod(), smNone);
}

TEST_F(FakePortTest, DefaultsMatchTheComponentsStoredState)
{
    EXPECT_EQ(Port->Port(), "COM2");
    EXPECT_EQ(Port->BaudRate(), br9600);
    EXPECT_EQ(Port->InBufSize(), 2048);
    EXPECT_EQ(Port->SyncMethod(), smThreadSync);
    EXPECT_EQ(Port->Timeouts().ReadInterval(), -1);
    EXPECT_EQ(Port->Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(Port->Timeouts().WriteTotalConstant(), 1000);
    EXPECT_FALSE(Port->Connected());
}

TEST_F(FakePortTest, NegativeTimeoutsReachTheDriverAsNoLimit)
{
    ASSERT_TRUE(Port->OpenPort());
    const TPortTimeouts timeouts = Driver->LastTimeouts();
    EXPECT_EQ(timeouts.ReadInterval, TPortTimeouts::NoLimit);
    EXPECT_EQ(timeouts.ReadTotalMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalMultiplier, 100u);
    EXPECT_EQ(timeouts.WriteTotalConstant, 1000u);
}

TEST_F(FakePortTest, EachTimeoutSetterAppliesWhileOpen)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Port->Timeouts().SetReadTotalConstant(50);
    Port->Timeouts().SetReadTotalMultiplier(-7);
    EXPECT_EQ(Driver->Log(), (Log{"SetTimeouts", "SetTimeouts"}));
    EXPECT_EQ(Driver->LastTimeouts().ReadTotalConstant, 50u);
    EXPECT_EQ(Driver->LastTimeouts().ReadTotalMultiplier, TPortTimeouts::NoLimit);
}

TEST_F(FakePortTest, AssigningTimeoutsCopiesAllFiveAndAppliesOnce)
{
    TComTimeouts other;
    other.SetReadInterval(1);
    other.SetReadTotalMultiplier(2);
    other.SetReadTotalConstant(3);
    other.SetWriteTotalMultiplier(4);
    other.SetWriteTotalConstant(5);
    ASSERT_TRUE(Port->OpenPort());
    Driver->ClearLog();
    Port->SetTimeouts(other);
    EXPECT_EQ(Driver->Log(), Log{"SetTimeouts"});
    const TPortTimeouts timeouts = Driver->LastTimeouts();
    EXPECT_EQ(timeouts.ReadInterval, 1u);
    EXPECT_EQ(timeouts.ReadTotalMultiplier, 2u);
    EXPECT_EQ(timeouts.ReadTotalConstant, 3u);
    EXPECT_EQ(timeouts.WriteTotalMultiplier, 4u);
    EXPECT_EQ(timeouts.WriteTotalConstant, 5u);
    // The copy belongs to the port: changing it later still applies.
    Port->Timeouts().SetWriteTotalConstant(6);
    EXPECT_EQ(Driver->LastTimeouts().WriteTotalConstant, 6u);
}

TEST_F(FakePortTest, RefusedLineSettingsOrTimeoutsRaiseTheirMessages)
{
    ASSERT_TRUE(Port->OpenPort());
    Driver->FailCall("SetLineSettings");
    Driver->FailCall("SetTimeouts");
    EXPECT_COM_ERROR(Port->SetBaudRate(br300), EComPort::LineSettingsFailed);
    EXPECT_COM_ERROR(Port->Timeouts().SetReadInterval(5), EComPort::TimeoutsFailed);
}

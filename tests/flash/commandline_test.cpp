#include "flashcommands.h"
#include "shellquote.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// Runs text through /bin/sh the way the runner does and returns what it printed.
std::string ShellOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "popen failed";
    }
    char buffer[256];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    ::pclose(pipe);
    return output;
}

TEST(FlashCommandTest, EsptoolCkGetsTheClassicCommandLines)
{
    const TFlashTool tool{"/opt/esptool", TFlashToolKind::EsptoolCk, "esptool v0.4.13"};
    EXPECT_EQ(InitializeCommand(tool, "/dev/ttyUSB0", "init.bin"),
              "/opt/esptool -cp /dev/ttyUSB0 -bm dio -cd nodemcu -cf init.bin -v");
    EXPECT_EQ(FirmwareCommand(tool, "/dev/ttyACM1", "firmware.bin", {}),
              "/opt/esptool -cp /dev/ttyACM1 -bm dio -bf 40 -cd nodemcu -bz 4M -cf firmware.bin -v");
}

TEST(FlashCommandTest, EspressifToolsGetTheirOwnSpelling)
{
    const TFlashTool v4{"/usr/local/bin/esptool.py", TFlashToolKind::Espressif, "esptool.py v4.8.1"};
    EXPECT_EQ(InitializeCommand(v4, "/dev/ttyUSB0", "init.bin"),
              "/usr/local/bin/esptool.py --port /dev/ttyUSB0 write_flash --flash_mode dio 0x0 init.bin");
    EXPECT_EQ(FirmwareCommand(v4, "/dev/ttyUSB0", "firmware.bin", {}),
              "/usr/local/bin/esptool.py --port /dev/ttyUSB0 write_flash --flash_mode dio --flash_freq 40m "
              "--flash_size 4MB 0x0 firmware.bin");

    const TFlashTool v5{"/home/me/.local/bin/esptool", TFlashToolKind::Espressif5, "esptool v5.3.1"};
    EXPECT_EQ(InitializeCommand(v5, "/dev/ttyUSB0", "init.bin"),
              "/home/me/.local/bin/esptool --port /dev/ttyUSB0 write-flash --flash-mode dio 0x0 init.bin");
    EXPECT_EQ(FirmwareCommand(v5, "/dev/ttyUSB0", "firmware.bin", {}),
              "/home/me/.local/bin/esptool --port /dev/ttyUSB0 write-flash --flash-mode dio --flash-freq 40m "
              "--flash-size 4MB 0x0 firmware.bin");
}

// The rate goes before the command (esptool-ck acts on its options in order: before the erase and the image), the
// whole-flash erase before the image; only esptool 5.2 and later can skip an image the flash already holds, and
// only Espressif's tools can read the flash.
TEST(FlashCommandTest, RateEraseSkipAndBackupInEachToolsSpelling)
{
    const TFlashOptions options{460800, true, true};
    const TFlashTool ck{"/t", TFlashToolKind::EsptoolCk, "esptool v0.4.13", 0, 4};
    EXPECT_EQ(FirmwareCommand(ck, "/dev/ttyUSB0", "/i.bin", options),
              "/t -cp /dev/ttyUSB0 -cb 460800 -bm dio -bf 40 -cd nodemcu -bz 4M -ce -cf /i.bin -v");
    EXPECT_FALSE(CanReadFlash(ck));

    const TFlashTool v4{"/t", TFlashToolKind::Espressif, "esptool.py v4.8.1", 4, 8};
    EXPECT_EQ(FirmwareCommand(v4, "/dev/ttyUSB0", "/i.bin", options),
              "/t --port /dev/ttyUSB0 --baud 460800 write_flash --flash_mode dio --flash_freq 40m --flash_size 4MB "
              "--erase-all 0x0 /i.bin");
    EXPECT_EQ(BackupCommand(v4, "/dev/ttyUSB0", "/b.bin", 230400),
              "/t --port /dev/ttyUSB0 --baud 230400 read_flash 0x0 4194304 /b.bin");

    const TFlashTool v51{"/t", TFlashToolKind::Espressif5, "esptool v5.1.0", 5, 1};
    const TFlashTool v53{"/t", TFlashToolKind::Espressif5, "esptool v5.3.1", 5, 3};
    EXPECT_EQ(FirmwareCommand(v51, "/dev/ttyUSB0", "/i.bin", {921600, false, true}),
              "/t --port /dev/ttyUSB0 --baud 921600 write-flash --flash-mode dio --flash-freq 40m --flash-size 4MB "
              "0x0 /i.bin");
    EXPECT_EQ(FirmwareCommand(v53, "/dev/ttyUSB0", "/i.bin", {921600, false, true}),
              "/t --port /dev/ttyUSB0 --baud 921600 write-flash --flash-mode dio --flash-freq 40m --flash-size 4MB "
              "--skip-flashed 0x0 /i.bin");
    EXPECT_EQ(BackupCommand(v53, "/dev/ttyUSB0", "/b.bin", 115200),
              "/t --port /dev/ttyUSB0 read-flash 0x0 4194304 /b.bin");
}

TEST(FlashCommandTest, ToolPortAndImageWithSpacesAreOneQuotedWordEach)
{
    const TFlashTool tool{"/home/my tools/esptool", TFlashToolKind::Espressif5, ""};
    EXPECT_EQ(InitializeCommand(tool, "/tmp/my port", "/home/me/.local/share/quorlane/init.bin"),
              "'/home/my tools/esptool' --port '/tmp/my port' write-flash --flash-mode dio 0x0 "
              "/home/me/.local/share/quorlane/init.bin");
}

TEST(ShellQuoteTest, PlainDeviceNamesStayAsTheyAre)
{
    EXPECT_EQ(ShellQuote("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(ShellQuote("/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00.port0"),
              "/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00.port0");
    EXPECT_EQ(ShellQuote("COM7"), "COM7");
}

TEST(ShellQuoteTest, EmptyTextIsAnEmptyWord)
{
    EXPECT_EQ(ShellQuote(""), "''");
    EXPECT_EQ(ShellOutput("printf '[%s]' " + ShellQuote("")), "[]");
}

TEST(ShellQuoteTest, SingleQuoteIsEscapedOutsideTheQuotes)
{
    EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
}

TEST(ShellQuoteTest, HostileNamesReachTheToolUnchanged)
{
    const std::string names[] = {
        "/dev/tty; echo injected",
        "$(echo injected)",
        "`echo injected`",
        "a'b\"c\\d",
        "x && echo injected",
        "/dev/tty*",
        "$HOME",
        "name\nnext line",
        "|cat",
        "-cp ' ; '",
    };
    for (const std::string& name : names) {
        // printf repeats its format for every extra argument, so a name split into words would show.
        EXPECT_EQ(ShellOutput("printf '[%s]' " + ShellQuote(name)), "[" + name + "]") << name;
    }
}

TEST(ShellQuoteTest, CommandSubstitutionInPortNameRunsNothing)
{
    const quorlane::testsupport::TTempDir dir;
    const std::string marker = dir.File("marker");
    const std::string port = "/dev/ttyUSB0$(touch " + marker + ")";
    ShellOutput("printf '%s' " + ShellQuote(port) + " >/dev/null");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

} // namespace

// Storing the downloaded image: whole bytes in place, or nothing changed when writing fails.

#include "firmwarefile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

class FirmwareFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorlane-firmware-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FDir = pattern;
    }
    void TearDown() override { fs::remove_all(FDir); }

    std::string Stored() const
    {
        std::ifstream in(FDir / FirmwareFileName, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    fs::path FDir;
};

TEST_F(FirmwareFileTest, StoresTheBytesAndReplacesAnEarlierImage)
{
    SaveFirmwareFile(FDir, std::string("old image"));
    const std::string image("\x00\x01\xff image \r\n", 12);
    SaveFirmwareFile(FDir, image);
    EXPECT_EQ(Stored(), image);
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator()), 1);
}

TEST_F(FirmwareFileTest, MissingDirectoryIsAnErrorNamingTheFile)
{
    try {
        SaveFirmwareFile((FDir / "missing").string(), "image");
        FAIL() << "no error for a missing directory";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot write " + (FDir / "missing" / "firmware.bin").string() + ": No such file or directory");
    }
}

// Regression: a write that failed half way left a truncated firmware.bin for the flashing tool. The earlier image
// must stay whole and no temporary file may remain.
TEST_F(FirmwareFileTest, FailedWriteLeavesTheEarlierImageWhole)
{
    SaveFirmwareFile(FDir, "earlier image");
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previousLimit{};
    ::getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit small = previousLimit;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(SaveFirmwareFile(FDir, std::string(100000, 'x')), std::runtime_error);
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(Stored(), "earlier image");
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator()), 1);
}

} // namespace

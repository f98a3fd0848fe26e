// Where the program keeps its files, as the desktop's directory variables and the home directory say.

#include "filelocations.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

using quorlane::testsupport::TTempDir;

namespace {

class FileLocationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : Variables) {
            const char* value = std::getenv(name);
            Saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
        ::setenv("HOME", Home.Path().c_str(), 1);
    }

    void TearDown() override
    {
        for (std::size_t index = 0; index < Saved.size(); ++index) {
            if (Saved[index]) {
                ::setenv(Variables[index], Saved[index]->c_str(), 1);
            } else {
                ::unsetenv(Variables[index]);
            }
        }
    }

    static constexpr const char* Variables[] = {"HOME", "XDG_CACHE_HOME"};
    std::vector<std::optional<std::string>> Saved;
    TTempDir Home;
};

TEST_F(FileLocationsTest, CacheDirectoryFollowsTheVariableAndFallsBackUnderHome)
{
    ::setenv("XDG_CACHE_HOME", "/var/tmp/elsewhere", 1);
    EXPECT_EQ(UserCacheDirectory(), "/var/tmp/elsewhere/quorlane");
    // Relative and empty values are not valid base directories.
    for (const char* ignored : {"relative/cache", ""}) {
        ::setenv("XDG_CACHE_HOME", ignored, 1);
        EXPECT_EQ(UserCacheDirectory(), Home.Path() + "/.cache/quorlane") << "XDG_CACHE_HOME=" << ignored;
    }
    ::unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(UserCacheDirectory(), Home.Path() + "/.cache/quorlane");
}

// Beside the program, in the user's data and in the installed data, the first directory that holds the image wins.
TEST(InitImageTest, FirstDirectoryHoldingTheImageWins)
{
    const TTempDir first, second, third;
    const std::vector<std::string> searched{first.Path(), second.Path(), third.Path()};
    EXPECT_EQ(FindInitImage(searched), "");
    std::ofstream(third.File(InitImageName)) << "later";
    std::ofstream(second.File(InitImageName)) << "earlier";
    EXPECT_EQ(FindInitImage(searched), second.File(InitImageName));
}

TEST(ImageArgumentTest, ImageIsNamedBareOnlyWhenItLiesInTheToolsDirectory)
{
    EXPECT_EQ(ImageArgument("/opt/q/bin/init.bin", "/opt/q/bin"), "init.bin");
    EXPECT_EQ(ImageArgument("/usr/share/quorlane/init.bin", "/home/u/.cache/quorlane"), "/usr/share/quorlane/init.bin");
    EXPECT_EQ(ImageArgument("/opt/q/bin/images/init.bin", "/opt/q/bin"), "/opt/q/bin/images/init.bin");
}

} // namespace

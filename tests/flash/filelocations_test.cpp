// Where the program keeps its files, as the desktop's directory variables and the home directory say.

#include "filelocations.h"
#include "imagefile.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace fs = std::filesystem;
using quorlane::testsupport::ReadWholeFile;
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

TEST_F(FileLocationsTest, ImagesGoToADirectoryOnlyTheUserCanWrite)
{
    ::setenv("XDG_CACHE_HOME", Home.File("cache").c_str(), 1);
    const std::string directory = PrivateDirectory();
    EXPECT_EQ(directory, Home.File("cache/quorlane"));
    EXPECT_EQ(fs::status(directory).permissions(), fs::perms::owner_all);

    fs::permissions(directory, fs::perms::all);
    PrivateDirectory();
    EXPECT_EQ(fs::status(directory).permissions(), fs::perms::owner_all);

    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(directory.c_str(), 12345, 12345), 0);
        EXPECT_THROW(PrivateDirectory(), std::runtime_error);
    }
    fs::remove(directory);
    fs::create_directory(Home.File("elsewhere"));
    fs::create_directory_symlink(Home.File("elsewhere"), directory);
    try {
        PrivateDirectory();
        FAIL() << "a symbolic link was used";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot keep images in " + directory + ": it is a symbolic link");
    }
}

// Two flashes at once never share a file; a file left by a program that was killed goes, one still held stays.
TEST_F(FileLocationsTest, EachImageIsAFileOfItsOwnRemovedWithIt)
{
    const auto aged = [](const std::string& path) {
        std::ofstream(path) << "old";
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(10));
    };
    aged(Home.File("image-left.bin"));
    aged(Home.File("image-held.bin"));
    const int held = ::open(Home.File("image-held.bin").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    std::string first;
    {
        const TImageFile one(Home.Path(), "first image");
        const TImageFile two(Home.Path(), "second image");
        first = one.Path();
        EXPECT_NE(one.Path(), two.Path());
        EXPECT_EQ(ReadWholeFile(one.Path()), "first image");
        EXPECT_EQ(ReadWholeFile(two.Path()), "second image");
        EXPECT_FALSE(fs::exists(Home.File("image-left.bin")));
        EXPECT_TRUE(fs::exists(Home.File("image-held.bin")));
    }
    EXPECT_FALSE(fs::exists(first));
    ::close(held);
}

} // namespace

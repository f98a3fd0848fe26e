// The session log file on its own: its size limit and closing line, its name and rights, and which older logs a new
// one removes.

#include "sessionlog.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

std::vector<std::string> Lines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

unsigned Mode(const std::string& path)
{
    struct stat info
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::vector<std::string> LogNames(const std::string& directory)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

// Entries added faster than the writer takes them, well past the limit: the file ends at most at the limit with the
// closing line, holds every entry before it in order, and takes nothing after it.
TEST(SessionLogTest, StopsAtItsSizeLimitWithAClosingLine)
{
    TTempDir dir;
    constexpr std::size_t Limit = 200000;
    std::string path;
    {
        TSessionLog log(dir.Path(), {.MaxFileSize = Limit});
        path = log.Path();
        for (int entry = 0; entry < 4000; ++entry) {
            log.Add("console", "entry " + std::to_string(entry) + " " + std::string(80, 'x'));
        }
        log.Flush();
        const auto full = fs::file_size(path);
        EXPECT_LE(full, Limit);
        // Within one entry of the limit: the log did not stop early.
        EXPECT_GT(full, Limit - 200);
        log.Add("error", "after the end");
        log.Flush();
        EXPECT_EQ(fs::file_size(path), full);
    }
    const std::vector<std::string> lines = Lines(path);
    ASSERT_GT(lines.size(), 3u);
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\S+) +(.*))");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(lines.back(), parts, stamped)) << lines.back();
    EXPECT_EQ(parts[1], "log");
    EXPECT_EQ(parts[2], "The log stopped at its limit of 200000 bytes; nothing more is written.");
    for (std::size_t line = 1; line + 1 < lines.size(); ++line) {
        ASSERT_TRUE(std::regex_match(lines[line], parts, stamped)) << lines[line];
        EXPECT_EQ(parts[2].str().substr(0, parts[2].str().find(' ', 6)), "entry " + std::to_string(line - 1));
    }
}

// A fresh state directory is made for the user alone; two instances started together write files of their own,
// readable only by the user; the newest logs are kept, and files that are not logs are left alone.
TEST(SessionLogTest, EachRunHasAPrivateFileOfItsOwnAndTheNewestAreKept)
{
    TTempDir dir;
    const std::string logs = dir.File("state/quorlane/logs");
    fs::create_directories(logs);
    fs::permissions(dir.File("state"), fs::perms::owner_all);
    fs::permissions(dir.File("state/quorlane"), fs::perms::owner_all);
    fs::permissions(logs, fs::perms::owner_all);
    for (int old = 10; old < 35; ++old) {
        std::ofstream(logs + "/2001-02-03_04-05-" + std::to_string(old) + ".log") << "old\n";
    }
    std::ofstream(logs + "/notes.txt") << "mine\n";

    const TSessionLog first(logs, {.KeptFiles = 20});
    const TSessionLog second(logs, {.KeptFiles = 20});
    EXPECT_NE(first.Path(), second.Path());
    EXPECT_EQ(CurrentSessionLog(), &second);
    EXPECT_EQ(Mode(first.Path()), 0600u);
    EXPECT_EQ(Mode(second.Path()), 0600u);

    std::vector<std::string> expected;
    for (int old = 17; old < 35; ++old) {
        expected.push_back("2001-02-03_04-05-" + std::to_string(old) + ".log");
    }
    expected.push_back(fs::path(first.Path()).filename().string());
    expected.push_back(fs::path(second.Path()).filename().string());
    expected.push_back("notes.txt");
    std::ranges::sort(expected);
    EXPECT_EQ(LogNames(logs), expected);

    const TSessionLog fresh(dir.File("new/quorlane/logs"));
    EXPECT_EQ(Mode(dir.File("new")), 0700u);
    EXPECT_EQ(Mode(dir.File("new/quorlane/logs")), 0700u);

    fs::permissions(logs, fs::perms::group_write, fs::perm_options::add);
    EXPECT_THROW(TSessionLog{logs}, std::runtime_error);
}

} // namespace

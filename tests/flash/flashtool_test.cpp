// Finding the flashing tool and telling which language it speaks.

#include "flashtool.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>

namespace fs = std::filesystem;
using quorlane::testsupport::TTempDir;

namespace {

std::string MakeTool(const TTempDir& dir, const std::string& relative, fs::perms perms = fs::perms::owner_all)
{
    const fs::path path = fs::path(dir.Path()) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path, perms);
    return path.string();
}

TEST(FindFlashToolTest, ProgramDirectoryComesFirstThenPathInOrder)
{
    const TTempDir dir;
    MakeTool(dir, "bin1/esptool", fs::perms::owner_read);
    fs::create_directories(dir.File("bin1/esptool.py"));
    const std::string onPath = MakeTool(dir, "bin2/esptool.py");
    MakeTool(dir, "bin3/esptool");
    // Empty and relative entries name the current directory, which the program does not choose.
    const std::string path = dir.File("bin1") + "::bin:" + dir.File("bin2") + ":" + dir.File("bin3");

    const std::vector<std::string> directories = FlashToolDirectories(dir.File("program"), path.c_str());
    EXPECT_EQ(directories,
              (std::vector<std::string>{dir.File("program"), dir.File("bin1"), dir.File("bin2"), dir.File("bin3")}));
    // Neither a file that cannot be run nor a directory counts.
    EXPECT_EQ(FindFlashTool(directories), onPath);

    const std::string beside = MakeTool(dir, "program/esptool.py");
    EXPECT_EQ(FindFlashTool(directories), beside);
    EXPECT_EQ(FindFlashTool(FlashToolDirectories(dir.File("empty"), "")), "");
}

TEST(ReadFlashToolTest, EachToolIsKnownByItsOwnAnswer)
{
    const TFlashTool v4 = ReadFlashTool("/t", "esptool.py v4.8.1\n4.8.1\n", "");
    EXPECT_EQ(v4.Kind, TFlashToolKind::Espressif);
    EXPECT_EQ(v4.Identity, "esptool.py v4.8.1");

    const TFlashTool v5 = ReadFlashTool("/t", "esptool v5.3.1\n5.3.1\n", "");
    EXPECT_EQ(v5.Kind, TFlashToolKind::Espressif5);
    EXPECT_EQ(v5.Identity, "esptool v5.3.1");
    EXPECT_EQ(v5.Minor, 3);

    const TFlashTool ck = ReadFlashTool("/t", "error: Invalid argument or value after version (argument #1)\n",
                                        "esptool v0.4.13 - (c) 2014 Ch. Klippel <ck@atelier-klippel.de>\n");
    EXPECT_EQ(ck.Kind, TFlashToolKind::EsptoolCk);
    EXPECT_EQ(ck.Identity, "esptool v0.4.13");

    const TFlashTool unknown = ReadFlashTool("/t", "usage: something else\n", "esptool version 2 of sorts\n");
    EXPECT_EQ(unknown.Kind, TFlashToolKind::EsptoolCk);
    EXPECT_EQ(unknown.Identity, "");
}

TEST(FlashToolFinderTest, AsksEachToolOnceUntilItChanges)
{
    const TTempDir dir;
    const std::string tool = MakeTool(dir, "esptool");
    std::vector<std::string> asked;
    TFlashToolFinder finder([&asked](const std::string& command) {
        asked.push_back(command);
        return std::optional<std::string>("esptool v5.0.0\n");
    });
    EXPECT_EQ(finder.Find({dir.Path()})->Kind, TFlashToolKind::Espressif5);
    EXPECT_EQ(finder.Find({dir.Path()})->Kind, TFlashToolKind::Espressif5);
    EXPECT_EQ(asked, std::vector<std::string>{tool + " version"});

    // An upgrade in place may change the tool's language.
    fs::last_write_time(tool, fs::last_write_time(tool) + std::chrono::seconds(5));
    finder.Find({dir.Path()});
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_FALSE(finder.Find({dir.File("none")}));
}

TEST(FlashToolFinderTest, ToolThatDoesNotSayWhoItIsIsNamedAndNotTrusted)
{
    const TTempDir dir;
    const std::string tool = MakeTool(dir, "esptool.py");
    TFlashToolFinder finder([](const std::string&) { return std::optional<std::string>(); });
    try {
        finder.Find({dir.Path()});
        FAIL() << "a silent tool was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "esptool.py at " + tool + " did not say which version it is within 5 s");
    }
}

} // namespace

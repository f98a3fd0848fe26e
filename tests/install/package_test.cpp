// The Debian package as a user gets it: unpacked with dpkg-deb, its files and Depends checked, and its program started
// offscreen from the unpacked tree, which the program's user cannot write. The program driver (tests/app/
// programdriver), loaded into the unpacked program as a Qt plugin, connects to the board simulator, saves the settings,
// opens the Firmware page against the project's catalogue server and uploads; the image must land in the user's
// cache directory and the flashing tool must run there. As root the program runs as the unprivileged user nobody,
// for whom the tree is read-only as it is for any user under /usr.

#include "catalogueserver.h"
#include "serverprocess.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

constexpr uid_t Nobody = 65534;

const std::string Image(300000, '\x6B');

std::string PackageFile()
{
    std::vector<fs::path> packages;
    for (const fs::directory_entry& entry : fs::directory_iterator(QUORLANE_PACKAGE_DIR)) {
        if (entry.path().extension() == ".deb") {
            packages.push_back(entry.path());
        }
    }
    return packages.size() == 1 ? packages.front().string() : std::string();
}

// The value of one key of a desktop entry.
std::string EntryValue(const fs::path& entry, const std::string& key)
{
    std::ifstream in(entry);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(key + "=")) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A directory the program's user owns (when that is another user) and may write.
void HandOver(const fs::path& directory)
{
    fs::permissions(directory, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    if (geteuid() == 0) {
        ASSERT_EQ(::chown(directory.c_str(), Nobody, Nobody), 0);
    }
}

void MakeReadOnly(const fs::path& tree)
{
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree)) {
        fs::permissions(entry.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove | fs::perm_options::nofollow);
    }
    fs::permissions(tree, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

void MakeWritable(const fs::path& tree)
{
    fs::permissions(tree, fs::perms::owner_write, fs::perm_options::add);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add | fs::perm_options::nofollow);
    }
}

class PackageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Package = PackageFile();
        ASSERT_FALSE(Package.empty()) << "no single package in " << QUORLANE_PACKAGE_DIR;
        fs::permissions(Work.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
        ASSERT_EQ(RunCommand({"/usr/bin/dpkg-deb", "-x", Package, Root.string()}, Work.File("dpkg.log")), 0)
            << ReadWholeFile(Work.File("dpkg.log"));
    }

    void TearDown() override
    {
        if (fs::exists(Root)) {
            MakeWritable(Root);
        }
    }

    std::string Field(const std::string& name)
    {
        const std::string log = Work.File(name + ".field");
        EXPECT_EQ(RunCommand({"/usr/bin/dpkg-deb", "-f", Package, name}, log), 0);
        return ReadWholeFile(log);
    }

    TTempDir Work;
    fs::path Root = fs::path(Work.Path()) / "root";
    std::string Package;
};

TEST_F(PackageTest, HoldsTheProgramItsLauncherIconAndMetainfo)
{
    const fs::path share = Root / "usr/share";
    const fs::path entry = share / "applications/net.quorlane.Quorlane.desktop";
    ASSERT_TRUE(fs::is_regular_file(entry));
    const fs::path program = Root / "usr/bin" / EntryValue(entry, "Exec");
    EXPECT_TRUE(fs::is_regular_file(program)) << program;
    EXPECT_EQ(::access(program.c_str(), X_OK), 0) << program;
    EXPECT_TRUE(fs::is_regular_file(share / "icons/hicolor/scalable/apps" / (EntryValue(entry, "Icon") + ".svg")));
    EXPECT_TRUE(fs::is_regular_file(share / "metainfo/net.quorlane.Quorlane.metainfo.xml"));
}

// The libraries' packages come from dpkg-shlibdeps; the engine's helper and the platform plugins are added by hand.
TEST_F(PackageTest, DependsOnTheLibrariesItLinksAndTheEnginesRuntime)
{
    const std::string depends = Field("Depends");
    for (const char* package : {"libc6", "libssl3", "libqt6widgets6", "libqt6webenginecore6 ",
                                "libqt6webenginecore6-bin", "qt6-qpa-plugins"}) {
        EXPECT_NE(depends.find(package), std::string::npos) << package << " missing from: " << depends;
    }
}

TEST_F(PackageTest, UnpackedProgramReachesItsWindowAndUploadsIntoTheUserCache)
{
    const bool root = geteuid() == 0;
    const fs::path home = Work.File("home");
    const fs::path tools = Work.File("tools");
    const fs::path plugins = Work.File("plugins");
    fs::create_directories(home);
    fs::create_directories(tools);
    fs::create_directories(plugins / "generic");
    HandOver(home);
    fs::copy_file(QUORLANE_ESPTOOL_STANDIN, tools / "esptool");
    fs::copy_file(QUORLANE_DRIVER, plugins / "generic" / fs::path(QUORLANE_DRIVER).filename());
    MakeReadOnly(Root);

    TCatalogueServer catalogue(R"([{"name": "blink", "version": "1.2"}])", {{"1.2", Image}});
    const fs::path trusted = Work.File("ca.pem");
    fs::copy_file(catalogue.CAFile(), trusted);

    TServerProcess simulator({"/usr/bin/python3", QUORLANE_BOARDSIM, "--pty-file", Work.File("pty")},
                             Work.File("simulator.log"));
    // The simulator writes its port's path in one rename.
    for (int wait = 0; wait < 500 && !fs::exists(Work.File("pty")); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::vector<std::string> ptyLines = Lines(ReadWholeFile(Work.File("pty")));
    ASSERT_EQ(ptyLines.size(), 1u) << ReadWholeFile(Work.File("simulator.log"));
    const std::string port = ptyLines.front();
    // The board simulator runs as this test's user; the program's user must be able to open its port.
    ASSERT_EQ(::chmod(port.c_str(), 0666), 0);

    const fs::path report = home / "report";
    std::vector<std::string> command;
    if (root) {
        command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    const std::vector<std::string> environment{
        "/usr/bin/env",
        "-i",
        "HOME=" + home.string(),
        "PATH=" + tools.string() + ":/usr/bin:/bin",
        "QT_QPA_PLATFORM=offscreen",
        "QT_PLUGIN_PATH=" + plugins.string(),
        "QT_QPA_GENERIC_PLUGINS=quorlanedriver:" + report.string(),
        "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu",
        "QUORLANE_EXTRA_PORTS=" + port,
        "QUORLANE_CATALOGUE_URL=" + catalogue.Address(),
        "SSL_CERT_FILE=" + trusted.string(),
        "ESPTOOL_STANDIN_LOG=" + (home / "esptool.json").string(),
        "ESPTOOL_STANDIN_STEPS=1",
        "ESPTOOL_STANDIN_DELAY=0",
        (Root / "usr/bin/quorlane").string(),
    };
    command.insert(command.end(), environment.begin(), environment.end());
    TServerProcess program(command, Work.File("program.log"));
    const int status = program.WaitForExit(180000);

    const std::string seen = ReadWholeFile(report);
    EXPECT_EQ(status, 0) << "program output:\n" << ReadWholeFile(Work.File("program.log")) << "\nseen:\n" << seen;
    const std::vector<std::string> lines = Lines(seen);
    ASSERT_FALSE(lines.empty()) << ReadWholeFile(Work.File("program.log"));
    EXPECT_TRUE(lines.front().starts_with("window: Quorlane ")) << seen;
    EXPECT_EQ(seen.find("box: "), std::string::npos) << seen;
    ASSERT_FALSE(lines.back().empty());
    EXPECT_EQ(lines.back(), "firmware: Upload firmware done!") << seen;

    // The image went to a file of the flash's own in the user's cache, which is gone afterwards; nothing was written
    // beside the program.
    const fs::path cache = home / ".cache/quorlane";
    EXPECT_TRUE(fs::is_empty(cache)) << "an image was left in " << cache;
    EXPECT_FALSE(fs::exists(Root / "usr/bin/firmware.bin"));
    const std::string record = ReadWholeFile((home / "esptool.json").string());
    EXPECT_NE(record.find("\"cwd\": \"" + cache.string() + "\""), std::string::npos) << record;
    EXPECT_NE(record.find("\"size\": " + std::to_string(Image.size())), std::string::npos) << record;
    EXPECT_NE(record.find("\"-cf\", \"" + cache.string() + "/image-"), std::string::npos) << record;
}

} // namespace

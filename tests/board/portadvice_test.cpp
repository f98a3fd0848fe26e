// What the port says beyond its fixed message when it cannot be opened: for a user without the rights, whether they
// are in the port's group and how to join it; for a port another program holds, that program's name.

#include "ptyportfixture.h"

#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <vector>

namespace {

constexpr uid_t Nobody = 65534;

// What opening the port gave in a child running as the unprivileged user with only the given groups: the error's
// text, or "opened".
std::string OpenAsNobody(const std::string& path, const std::vector<gid_t>& groups)
{
    int result[2];
    if (pipe(result) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(result[0]);
        std::string outcome = "cannot become the unprivileged user";
        if (setgroups(groups.size(), groups.data()) == 0 && setgid(Nobody) == 0 && setuid(Nobody) == 0) {
            THandOver handOver;
            TSerialPort port(std::make_unique<TLinuxPortDriver>(), handOver);
            port.SetPort(path);
            try {
                outcome = port.OpenPort() ? "opened" : "not opened";
            } catch (const EComPort& error) {
                outcome = error.what();
            }
        }
        const ssize_t written = write(result[1], outcome.data(), outcome.size());
        _exit(written == static_cast<ssize_t>(outcome.size()) ? 0 : 1);
    }
    close(result[1]);
    std::string outcome;
    char buffer[512];
    for (ssize_t got; (got = read(result[0], buffer, sizeof buffer)) > 0;)
        outcome.append(buffer, static_cast<std::size_t>(got));
    close(result[0]);
    waitpid(child, nullptr, 0);
    return outcome;
}

} // namespace

TEST_F(PtyPortTest, PermissionDeniedSaysHowToJoinThePortsGroup)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the port to a group and dropping to another user needs root";
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    const gid_t group = dialout->gr_gid;
    ASSERT_EQ(chown(SlavePath.c_str(), 0, group), 0);
    ASSERT_EQ(chmod(SlavePath.c_str(), 0660), 0);

    const std::string refused = OpenAsNobody(SlavePath, {});
    EXPECT_TRUE(refused.starts_with(std::string(EComPort(EComPort::NoPermission).what()) + "\n")) << refused;
    EXPECT_NE(refused.find("not in the group dialout"), std::string::npos) << refused;
    EXPECT_NE(refused.find("sudo usermod -aG dialout $USER"), std::string::npos) << refused;
    EXPECT_NE(refused.find("new login"), std::string::npos) << refused;

    EXPECT_EQ(OpenAsNobody(SlavePath, {group}), "opened");
}

TEST_F(PtyPortTest, BusyPortNamesTheProgramHoldingIt)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = open(SlavePath.c_str(), O_RDWR | O_NOCTTY);
        const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && prctl(PR_SET_NAME, "portholder") == 0;
        if (write(ready[1], held ? "y" : "n", 1) != 1 || !held)
            _exit(1);
        pause();
        _exit(0);
    }
    char held = 'n';
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    close(ready[0]);
    close(ready[1]);
    ASSERT_EQ(held, 'y');

    try {
        Port->OpenPort();
        ADD_FAILURE() << "a held port was opened";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.Index(), EComPort::Busy);
        const std::string text = error.what();
        EXPECT_TRUE(text.starts_with(std::string(EComPort(EComPort::Busy).what()) + "\n")) << text;
        EXPECT_NE(text.find("portholder (process " + std::to_string(holder) + ")"), std::string::npos) << text;
    }
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
}

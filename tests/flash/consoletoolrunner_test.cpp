#include "consoletoolrunner.h"
#include "recordingmemo.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

class ConsoleToolRunnerTest : public ::testing::Test
{
protected:
    std::string Run(const std::string& command, const std::string& directory = "/")
    {
        std::string output = "left over from an earlier run";
        RunConsoleTool(command, Memo, directory, output);
        return output;
    }

    quorlane::testsupport::TTempDir FTempDir;
    TRecordingMemo Memo;
};

size_t OpenDescriptorCount()
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

bool NoChildLeft()
{
    return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

using TLines = std::vector<std::string>;

TEST_F(ConsoleToolRunnerTest, BurstsArriveInOrderWithoutExtraLineBreaks)
{
    std::string expected;
    for (int burst = 0; burst < 10; ++burst) {
        expected += std::string(99, char('a' + burst)) + "|";
    }
    const std::string output = Run("for c in a b c d e f g h i j; do printf \"%099d|\" 0 | tr 0 $c; sleep 0.03; done");
    EXPECT_EQ(output, expected);
    EXPECT_EQ(Memo.Lines, TLines{expected});
}

TEST_F(ConsoleToolRunnerTest, LongOutputComesInPiecesOfAtMost255Bytes)
{
    const std::string output = Run("head -c 1000 /dev/zero | tr '\\0' x");
    EXPECT_EQ(output, std::string(1000, 'x'));
    EXPECT_EQ(Memo.Lines, TLines{output});
    EXPECT_GE(Memo.Updates, 4);
}

TEST_F(ConsoleToolRunnerTest, OutputStartsBelowWhatTheMemoShows)
{
    Memo = TRecordingMemo({"Prepare initializer..."});
    Run("echo tool");
    EXPECT_EQ(Memo.Lines, (TLines{"Prepare initializer...", "tool"}));
}

TEST_F(ConsoleToolRunnerTest, LineFeedOnlyOutputShowsAsLinesAndIsKeptInOutput)
{
    const std::string output = Run("printf 'one\\ntwo\\nthree'");
    EXPECT_EQ(output, "one\ntwo\nthree");
    EXPECT_EQ(Memo.Lines, (TLines{"one", "two", "three"}));
}

TEST_F(ConsoleToolRunnerTest, ZeroByteIsKeptInOutputAndNotShown)
{
    const std::string output = Run("printf 'ab\\000cd'; sleep 0.3; printf 'ef\\n'");
    EXPECT_EQ(output, std::string("ab\0cdef\n", 8));
    EXPECT_EQ(Memo.Lines, TLines{"abcdef"});
}

TEST_F(ConsoleToolRunnerTest, OutputKeepsItsMostRecentBytes)
{
    const std::string output = Run("head -c 3000000 /dev/zero | tr '\\0' x; echo end");
    ASSERT_EQ(output.size(), MaxCapturedOutput);
    EXPECT_TRUE(output.ends_with("xxxend\n"));
}

TEST_F(ConsoleToolRunnerTest, SilentCommandLeavesMemoUnchanged)
{
    Memo = TRecordingMemo({"earlier line"});
    const std::string output = Run("true");
    EXPECT_EQ(output, "");
    EXPECT_EQ(Memo.Lines, TLines{"earlier line"});
    EXPECT_EQ(Memo.Updates, 0);
}

TEST_F(ConsoleToolRunnerTest, StandardErrorIsMergedInWritingOrder)
{
    const std::string output = Run("echo out1; sleep 0.02; echo err1 >&2; sleep 0.02; echo out2; sleep 0.02; "
                                   "echo err2 1>&2");
    EXPECT_EQ(output, "out1\nerr1\nout2\nerr2\n");
    EXPECT_EQ(Memo.Lines, (TLines{"out1", "err1", "out2", "err2"}));
}

TEST_F(ConsoleToolRunnerTest, ExitStatusIsReturned)
{
    std::string output;
    EXPECT_EQ(RunConsoleTool("true", Memo, "/", output).Status, 0);
    EXPECT_EQ(RunConsoleTool("echo failing; exit 3", Memo, "/", output).Status, 3);
    EXPECT_EQ(RunConsoleTool("kill -TERM $$", Memo, "/", output).Status, 128 + SIGTERM);
    const TToolResult missing = RunConsoleTool("true", Memo, FTempDir.File("missing"), output);
    EXPECT_EQ(missing.End, TToolEnd::NotStarted);
    EXPECT_EQ(missing.Status, -1);

    EXPECT_EQ(RunConsoleTool("quorlane-no-such-tool -v", Memo, "/", output).Status, 127);
    EXPECT_NE(output.find("quorlane-no-such-tool"), std::string::npos) << output;
    EXPECT_NE(output.find("not found"), std::string::npos) << output;
}

TEST_F(ConsoleToolRunnerTest, ToolRunsWithoutColoursOrTerminalControlAndUnbuffered)
{
    ::setenv("TERM", "xterm-256color", 1);
    ::setenv("NO_COLOR", "0", 1);
    const std::string output = Run("echo \"$NO_COLOR $TERM $PYTHONUNBUFFERED\"; env | grep -c '^TERM='");
    ::unsetenv("NO_COLOR");
    EXPECT_EQ(output, "1 dumb 1\n1\n");
}

// The tool reads nothing of the program's input, and leads a process group of its own that a stop reaches whole.
TEST_F(ConsoleToolRunnerTest, ToolHasNoInputAndAProcessGroupOfItsOwn)
{
    EXPECT_EQ(Run("cat; readlink /proc/self/fd/0; test \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$ && echo leader"),
              "/dev/null\nleader\n");
}

TEST_F(ConsoleToolRunnerTest, CommandRunsInTheGivenDirectory)
{
    const fs::path before = fs::current_path();
    const std::string output = Run("pwd; ls", FTempDir.Path());
    EXPECT_EQ(output, FTempDir.Path() + "\n");
    EXPECT_EQ(fs::current_path(), before);

    std::ofstream(FTempDir.File("init.bin")) << "image";
    EXPECT_EQ(Run("cat init.bin", FTempDir.Path()), "image");
}

TEST_F(ConsoleToolRunnerTest, UnusableDirectoryStartsNothing)
{
    Memo = TRecordingMemo({"kept"});
    const fs::path marker = FTempDir.File("ran");
    const std::string output = Run("touch " + marker.string() + "; echo ran", FTempDir.File("missing"));
    EXPECT_EQ(output, "");
    EXPECT_EQ(Memo.Lines, TLines{"kept"});
    EXPECT_EQ(Memo.Updates, 0);
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(ConsoleToolRunnerTest, ToolBesideTheProgramIsFoundBeforeOthersOnPath)
{
    // A decoy of the same name earlier on the program's own PATH.
    const fs::path decoy = FTempDir.File("esptool");
    std::ofstream(decoy) << "#!/bin/sh\necho decoy\n";
    fs::permissions(decoy, fs::perms::owner_all);
    const std::string savedPath = std::getenv("PATH");
    ::setenv("PATH", (FTempDir.Path() + ":" + savedPath).c_str(), 1);
    const std::string output = Run("esptool", FTempDir.Path());
    ::setenv("PATH", savedPath.c_str(), 1);

    EXPECT_EQ(output.rfind("esptool stand-in\n", 0), 0u) << output;
    EXPECT_EQ(output.find("decoy"), std::string::npos);
}

TEST_F(ConsoleToolRunnerTest, EventsAreProcessedWhileTheToolIsSilent)
{
    Run("sleep 1; echo done");
    // The wait is cut into short polls, so a second of silence gives many rounds of events.
    EXPECT_GE(Memo.EventRoundsBeforeOutput, 10);
    EXPECT_EQ(Memo.Lines, TLines{"done"});
}

TEST_F(ConsoleToolRunnerTest, EachPieceIsFollowedByEventProcessing)
{
    Run("echo a; sleep 0.3; echo b; sleep 0.3; echo c");
    EXPECT_EQ(Memo.Updates, 3);
    EXPECT_GE(Memo.EventRounds - Memo.EventRoundsBeforeOutput, 3);
}

TEST_F(ConsoleToolRunnerTest, ReturnsOnlyWhenTheChildHasEnded)
{
    // The shell closes its output early, so the pipe ends long before the child does.
    const fs::path marker = FTempDir.File("ended");
    Run("echo closing; exec >&- 2>&-; sleep 0.5; touch " + marker.string());
    EXPECT_TRUE(fs::exists(marker));
    EXPECT_GE(Memo.EventRounds - Memo.EventRoundsBeforeOutput, 10);
}

// Whether the process runs (a zombie that its new parent has not reaped yet counts as ended).
bool ProcessRunning(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    return stat >> pidField >> name >> state && state != "Z";
}

bool EndsSoon(pid_t pid)
{
    for (int wait = 0; wait < 200 && ProcessRunning(pid); ++wait) {
        ::usleep(10000);
    }
    return !ProcessRunning(pid);
}

TEST_F(ConsoleToolRunnerTest, ToolThatLeavesAChildHoldingItsOutputEndsTheRun)
{
    const auto started = std::chrono::steady_clock::now();
    const std::string output = Run("sleep 30 & echo $!");
    // The child would hold the pipe for 30 s; the run ends with the tool and what it left behind is killed.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(EndsSoon(std::stoi(output)));
}

TEST_F(ConsoleToolRunnerTest, StopEndsTheWholeGroupEvenWhenTheToolIgnoresSignals)
{
    std::string output;
    const TToolResult timedOut =
        RunConsoleTool("sleep 30 & echo $!; wait", Memo, "/", output, {{}, std::chrono::milliseconds(300)});
    EXPECT_EQ(timedOut.End, TToolEnd::TimedOut);
    EXPECT_EQ(timedOut.Status, 128 + SIGKILL);
    EXPECT_TRUE(EndsSoon(std::stoi(output)));

    // SIGINT and SIGTERM are ignored by the shell and what it starts; SIGKILL follows.
    bool cancel = false;
    Memo.OnUpdate = [&cancel](const TRecordingMemo&) { cancel = true; };
    const TToolResult cancelled =
        RunConsoleTool("trap '' INT TERM; sleep 30 & echo $!; wait", Memo, "/", output, {[&cancel] { return cancel; }});
    EXPECT_EQ(cancelled.End, TToolEnd::Cancelled);
    EXPECT_EQ(cancelled.Status, 128 + SIGKILL);
    EXPECT_TRUE(EndsSoon(std::stoi(output)));
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(ConsoleToolRunnerTest, RunsLeaveNoDescriptorOrChildBehind)
{
    const size_t before = OpenDescriptorCount();
    Run("echo one");
    Run("quorlane-no-such-tool");
    Run("true", FTempDir.File("missing"));
    Run("echo closing; exec >&-; sleep 0.1");
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(ConsoleToolRunnerTest, ErrorFromTheMemoStillClosesAndReaps)
{
    const size_t before = OpenDescriptorCount();
    Memo.OnUpdate = [](const TRecordingMemo&) { throw std::runtime_error("memo failed"); };
    std::string output;
    // The tool would write forever; closing the pipe must end it so the runner can reap it.
    EXPECT_THROW(RunConsoleTool("while :; do echo more; done", Memo, "/", output), std::runtime_error);
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_TRUE(NoChildLeft());
}

} // namespace

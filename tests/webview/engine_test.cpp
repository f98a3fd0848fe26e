#include "engine.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

// StartEngine acts once per process, so each case runs in a child process of its own.

namespace {

// Exits 0 when StartEngine throws an EEngineError whose message holds every given part, 2 otherwise.
void ExpectEngineErrorMentioning(std::initializer_list<std::string> parts)
{
    try {
        StartEngine();
    } catch (const EEngineError& error) {
        const std::string message = error.what();
        for (const auto& part : parts)
            if (message.find(part) == std::string::npos)
                std::exit(2);
        std::exit(0);
    }
    std::exit(2);
}

bool StartEngineAfterApplication()
{
    int argc = 1;
    char name[] = "engine_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    return StartEngine();
}

} // namespace

TEST(EngineStartTest, MissingHelperProgramIsAClearError)
{
    EXPECT_EXIT(
        {
            qputenv("QTWEBENGINE_PROCESS_PATH", "/nonexistent/QtWebEngineProcess");
            ExpectEngineErrorMentioning({"browser engine cannot start", "/nonexistent/QtWebEngineProcess"});
        },
        testing::ExitedWithCode(0), "");
}

TEST(EngineStartTest, HelperThatIsNotAProgramIsAClearError)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile plain(dir.filePath("QtWebEngineProcess"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    plain.close();
    for (const QString& helper : {plain.fileName(), dir.path()})
        EXPECT_EXIT(
            {
                qputenv("QTWEBENGINE_PROCESS_PATH", helper.toLocal8Bit());
                ExpectEngineErrorMentioning({"helper program " + helper.toStdString()});
            },
            testing::ExitedWithCode(0), "")
            << helper.toStdString();
}

TEST(EngineStartTest, MissingResourcesAreAClearError)
{
    EXPECT_EXIT(
        {
            qputenv("QTWEBENGINE_RESOURCES_PATH", "/nonexistent");
            ExpectEngineErrorMentioning({"browser engine cannot start", "/nonexistent/qtwebengine_resources.pak"});
        },
        testing::ExitedWithCode(0), "");
}

TEST(EngineStartTest, StartsInTheProgramsOwnProcessAndAgainAtOnce)
{
    EXPECT_EXIT(
        {
            qunsetenv("QTWEBENGINE_PROCESS_PATH");
            qunsetenv("QTWEBENGINE_RESOURCES_PATH");
            const bool first = StartEngine();
            // A second call must not check again: the files are gone for it now.
            qputenv("QTWEBENGINE_PROCESS_PATH", "/nonexistent/QtWebEngineProcess");
            const bool second = StartEngine();
            std::exit(first && second ? 0 : 2);
        },
        testing::ExitedWithCode(0), "");
}

TEST(EngineStartTest, AsRootTheSandboxIsSwitchedOffAndSaidSo)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    EXPECT_EXIT(
        {
            qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
            StartEngine();
            std::exit(qgetenv("QTWEBENGINE_DISABLE_SANDBOX") == "1" ? 0 : 2);
        },
        testing::ExitedWithCode(0), "sandbox is switched off");
}

TEST(EngineStartTest, LateStartAfterTheApplicationObjectStillSwitchesTheSandboxOff)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    EXPECT_EXIT(
        {
            qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
            const bool started = StartEngineAfterApplication();
            std::exit(started && qgetenv("QTWEBENGINE_DISABLE_SANDBOX") == "1" ? 0 : 2);
        },
        testing::ExitedWithCode(0), "sandbox is switched off");
}

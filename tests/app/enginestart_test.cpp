// The program itself when the browser engine cannot start.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

TEST(EngineStartTest, MissingEngineEndsTheProgramWithAClearMessage)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QTWEBENGINE_PROCESS_PATH", "/nonexistent/QtWebEngineProcess");
    program.setProcessEnvironment(environment);
    program.start(QUORLANE_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(30000)) << "the program did not end";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(errors.contains("The browser engine cannot start: its helper program "
                                "/nonexistent/QtWebEngineProcess is missing or not executable"))
        << errors.toStdString();
}

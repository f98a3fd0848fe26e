// The program itself when the browser engine cannot start: the reason on standard error and in a message box (read
// and closed by the program driver loaded into it), then exit code 1.
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(EngineStartTest, MissingEngineEndsTheProgramWithAClearMessage)
{
    const QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString report = work.filePath("report");
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QTWEBENGINE_PROCESS_PATH", "/nonexistent/QtWebEngineProcess");
    environment.insert("QT_PLUGIN_PATH", QUORLANE_DRIVER_PLUGINS);
    environment.insert("QT_QPA_GENERIC_PLUGINS", "quorlanedriver:" + report);
    program.setProcessEnvironment(environment);
    program.start(QUORLANE_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(30000)) << "the program did not end";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString reason = "The browser engine cannot start: its helper program /nonexistent/QtWebEngineProcess is "
                           "missing or not executable";
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(errors.contains(reason)) << errors.toStdString();

    QFile seen(report);
    ASSERT_TRUE(seen.open(QIODevice::ReadOnly)) << "the program showed nothing";
    EXPECT_EQ(QString::fromUtf8(seen.readAll()), "box: " + reason + ".\n");
}

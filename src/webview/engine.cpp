#include "engine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QString>

#include <unistd.h>

#include <iostream>

namespace {

bool EngineStarted = false;

// Chromium's sandbox refuses to run as root; Qt offers this variable to switch it off.
void DisableSandboxForRoot()
{
    if (geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    std::cerr << "Quorlane: running as root, so the browser's sandbox is switched off\n";
}

// Qt's helper program: the one the variable names, otherwise the installed one.
QString HelperProgram()
{
    if (qEnvironmentVariableIsSet("QTWEBENGINE_PROCESS_PATH"))
        return qEnvironmentVariable("QTWEBENGINE_PROCESS_PATH");
    return QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess";
}

// The directory of the engine's resource packs: the one the variable names, otherwise the installed one.
QString ResourcesDir()
{
    if (qEnvironmentVariableIsSet("QTWEBENGINE_RESOURCES_PATH"))
        return qEnvironmentVariable("QTWEBENGINE_RESOURCES_PATH");
    return QLibraryInfo::path(QLibraryInfo::DataPath) + "/resources";
}

// Qt ends the process without a word the program could show when these are missing, and only
// once the first page is made; checking first turns that into a clear message.
void CheckEngineFiles()
{
    const QString helper = HelperProgram();
    const QFileInfo program(helper);
    if (!program.isFile() || !program.isExecutable())
        throw EEngineError("The browser engine cannot start: its helper program " + helper.toStdString() +
                           " is missing or not executable");
    const QString resources = ResourcesDir() + "/qtwebengine_resources.pak";
    if (!QFileInfo(resources).isReadable())
        throw EEngineError("The browser engine cannot start: its resources " + resources.toStdString() +
                           " are missing");
}

} // namespace

bool StartEngine()
{
    if (EngineStarted)
        return true;
    DisableSandboxForRoot();
    CheckEngineFiles();
    // The engine's pages are drawn with OpenGL contexts shared with the window's; Qt takes this
    // only before the application object exists. A browser control made in a program that did not
    // start the engine first comes here later and leaves it to Qt's default.
    if (QCoreApplication::instance() == nullptr)
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    EngineStarted = true;
    return true;
}

void EnableHighDpi()
{
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

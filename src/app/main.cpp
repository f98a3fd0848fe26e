#include "application.h"
#include "engine.h"
#include "fmain.h"
#include "quitsignals.h"
#include "sessionlog.h"
#include "startfailure.h"

#include <iostream>

int main(int argc, char** argv)
{
    // The engine is prepared before the application object exists; when it cannot run, the program
    // says why, on standard error and in a message box, and ends before any window.
    try {
        if (!StartEngine()) {
            return 0;
        }
    } catch (const EEngineError& error) {
        std::cerr << "Quorlane: " << error.what() << '\n';
        ShowStartFailure(argc, argv, error.what());
        return 1;
    }
    EnableHighDpi();
    TApplication application(argc, argv);
    const std::unique_ptr<TSessionLog> log = StartSessionLog();
    TFMain FMain;
    const TQuitSignals quitSignals([&FMain] { FMain.StopAndQuit(); });
    FMain.show();
    return application.exec();
}

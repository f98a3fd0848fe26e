// Entry point of the browser control's tests: the engine prepared, then the application object.
#include "webenginetestmain.h"

#include "boardwebserver.h"
#include "enginetestenvironment.h"

#include <gtest/gtest.h>

namespace {

TTestApplication* App = nullptr;

} // namespace

bool TTestApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        LastError = QString::fromUtf8(error.what());
    }
    return false;
}

TTestApplication& TestApp()
{
    return *App;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const auto proxy = PrepareEngineTests();
    TTestApplication app(argc, argv);
    App = &app;
    const int result = RUN_ALL_TESTS();
    App = nullptr;
    return result;
}

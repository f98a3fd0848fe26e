// Entry point of the Setup page tests: the engine prepared, then the program's own application object, which
// serves the serial port's hand-overs and shows errors as the program does.
#include "application.h"
#include "boardwebserver.h"
#include "enginetestenvironment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const auto proxy = PrepareEngineTests();
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// Flashing time of the real flashing tools onto the board simulator, bare and through the window.
//
//   flashbench                 the instant wire: the window's flashing step against the bare tool, same command
//   flashbench --wire timed    a wire that takes a real line's time: the program's default flash against the tool's
//                              own default, the wire floor, the fallback to the safe rate and the backup
//
// The window's settings, cache and session log go to a scratch directory, removed at the end.

#include "application.h"
#include "flashmodes.h"
#include "programdriver.h"
#include "serverprocess.h"
#include "tempdir.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

int main(int argc, char** argv)
{
    const bool timed = argc == 3 && std::strcmp(argv[1], "--wire") == 0 && std::strcmp(argv[2], "timed") == 0;
    const bool instant =
        argc == 1 || (argc == 3 && std::strcmp(argv[1], "--wire") == 0 && std::strcmp(argv[2], "instant") == 0);
    if (!timed && !instant) {
        std::fprintf(stderr, "usage: flashbench [--wire instant|timed]\n");
        return 2;
    }
    if (BuiltFlashTools().front().Directory.empty()) {
        std::fprintf(stderr, "the real flashing tools are not here: ../shared/thirdparty is absent\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const TTempDir scratch;
    const fs::path work = scratch.Path();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        qputenv(name, QByteArray::fromStdString((work / "home" / name).string()));
    }
    RunCommand({QUORLANE_MAKE_DEMO, (work / "catalogue").string()}, "/dev/null");

    TApplication application(argc, argv);
    TFMain window;
    window.show();
    return timed ? MeasureOnTimedWire(window, work) : MeasureOnInstantWire(window, work);
}

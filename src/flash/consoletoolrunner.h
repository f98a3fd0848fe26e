#pragma once

#include "consolememo.h"

#include <string>

// Runs command through /bin/sh -c in directory and shows everything it writes to standard output and standard
// error in memo while it runs, read in pieces of at most 255 bytes (see TToolScreen for how they become lines);
// output receives the whole output byte for byte. Returns when the command has ended, with its exit status: the
// exit code, 128 plus the number of the signal that ended it, or -1 when it could not be started (memo unchanged,
// output empty). The program's own directory comes first on the command's PATH, so a tool installed beside the
// program is found first; the tool runs with NO_COLOR=1, TERM=dumb and PYTHONUNBUFFERED=1.
int RunConsoleTool(const std::string& command, IConsoleMemo& memo, const std::string& directory, std::string& output);

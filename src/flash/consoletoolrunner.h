#pragma once

#include "consolememo.h"

#include <string>

// Runs command through /bin/sh -c in directory and streams everything it writes to standard output
// and standard error into memo while it runs, in pieces of at most 255 bytes; output receives the
// whole output byte for byte. Returns when the command has ended; its exit status is not used.
// A command that cannot be started leaves memo unchanged and output empty. The program's own
// directory comes first on the command's PATH, so a tool installed beside the program is found first.
void RunConsoleTool(const std::string& command, IConsoleMemo& memo, const std::string& directory, std::string& output);

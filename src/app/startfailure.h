#pragma once

#include <string>

// Shows why the program cannot start in a message box, for a user who started it from the desktop and sees no
// standard error. Does nothing when there is no display to show it on. Call only when no application object exists.
void ShowStartFailure(int& argc, char** argv, const std::string& reason);

#pragma once

#include <string>

// The directory of the running program's executable, without a trailing separator ("/" for the root).
std::string ProgramDirectory();

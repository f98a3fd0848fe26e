#pragma once

#include <string>

// Makes text one word for /bin/sh. Text made only of letters, digits and / . _ - stays as it is (so
// ordinary device names read naturally); anything else is put in single quotes, so that no character
// of it can start another command or expand.
std::string ShellQuote(const std::string& text);

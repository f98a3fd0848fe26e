#pragma once

#include "boardmessage.h"

#include <array>
#include <string>

// The line that Save sends to the board: one compact JSON object with the nine settings as string members, in
// TAccessField order, followed by one line feed and nothing else.
std::string BuildSettingsLine(const std::array<std::string, AccessFieldCount>& values);

#pragma once

#include <string_view>

// Writes all bytes to the descriptor, going on after short writes and interrupted calls; false when the system
// refused (errno says why).
bool WriteAll(int fd, std::string_view bytes);

#pragma once

#include <string>

// What a user can do about a port that would not open, said in the terms of this system. The port's fixed message
// comes first; this advice is shown as its second line.

// Permission denied: whether the user is in the group that owns the device and, if not, the command that adds them
// and that a new login is needed. Empty when the device cannot be examined.
std::string PermissionAdvice(const std::string& path);

// Busy: the program that holds the device open, when /proc shows it, or a general hint when it does not.
std::string BusyAdvice(const std::string& path);

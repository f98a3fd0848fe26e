#pragma once

#include <string>
#include <vector>

// Replaces `strings` with the device paths of the serial ports backed by hardware, sorted case-insensitively
// character by character (ttyUSB10 before ttyUSB2), followed by the paths named in QUORLANE_EXTRA_PORTS
// (colon-separated). Raises EComPort 14 and leaves `strings` unchanged when the list cannot be read.
void ListComPorts(std::vector<std::string>& strings);

// The same, reading the tty class directory `sysClassTty` and the colon-separated `extraPorts`.
void ListComPortsFrom(const std::string& sysClassTty, const std::string& extraPorts, std::vector<std::string>& strings);

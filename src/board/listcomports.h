#pragma once

#include <string>
#include <vector>

// One serial port of the list: the device path that the program opens and hands to the flashing tool, and the name
// of the USB adapter behind it from sysfs (manufacturer and product; empty for ports that are not USB adapters), and
// what tells that adapter from others wherever it is plugged in: "usb:" and its serial number, or its vendor and
// product ids ("usb:1a86:7523") when it has none.
struct TComPort
{
    std::string Path;
    std::string Adapter;
    std::string AdapterId;
    bool operator==(const TComPort&) const = default;
};

// Where the port list comes from: the tty class directory and the directory of device nodes. The program uses the
// system's; tests point it at a stand-in tree.
struct TPortSource
{
    std::string ClassDir = "/sys/class/tty";
    std::string DevDir = "/dev";
};

// Replaces `ports` with the serial ports backed by hardware whose device node exists: USB adapters first, then the
// paths named in QUORLANE_EXTRA_PORTS (colon-separated, in their order), then the other ports (built-in UARTs such
// as ttyS0). USB adapters and other ports are each sorted by path case-insensitively character by character
// (ttyUSB10 before ttyUSB2). Raises EComPort 14 and leaves `ports` unchanged when the class cannot be read.
void ListComPorts(std::vector<TComPort>& ports, const TPortSource& source = {});

// The same with the extra ports given instead of taken from the environment.
void ListComPortsFrom(const TPortSource& source, const std::string& extraPorts, std::vector<TComPort>& ports);

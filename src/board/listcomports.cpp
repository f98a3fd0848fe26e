#include "listcomports.h"

#include "serialport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

// A serial-core tty whose UART type reads 0 is a placeholder with no hardware behind it (the ttyS ports that
// the kernel creates in advance).
static bool IsPlaceholder(const fs::path& entry)
{
    std::ifstream type(entry / "type");
    int value = -1;
    return type >> value && value == 0;
}

static bool IsHardwarePort(const fs::path& entry)
{
    std::error_code error;
    return fs::exists(entry / "device", error) && !IsPlaceholder(entry);
}

// Case-insensitive, character by character: digits compare as characters, so COM10 sorts before COM2.
static bool TextLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) < std::tolower(y);
    });
}

static void AppendExtraPorts(const std::string& extraPorts, std::vector<std::string>& list)
{
    std::size_t start = 0;
    while (start <= extraPorts.size()) {
        const std::size_t end = std::min(extraPorts.find(':', start), extraPorts.size());
        const std::string name = extraPorts.substr(start, end - start);
        if (!name.empty() && std::find(list.begin(), list.end(), name) == list.end())
            list.push_back(name);
        start = end + 1;
    }
}

void ListComPortsFrom(const std::string& sysClassTty, const std::string& extraPorts, std::vector<std::string>& strings)
{
    std::vector<std::string> list;
    std::error_code error;
    fs::directory_iterator entries(sysClassTty, error);
    if (error)
        throw EComPort(EComPort::PortListFailed);
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (IsHardwarePort(entries->path()))
            list.push_back("/dev/" + entries->path().filename().string());
    }
    if (error)
        throw EComPort(EComPort::PortListFailed);
    std::sort(list.begin(), list.end(), TextLess);
    AppendExtraPorts(extraPorts, list);
    strings = std::move(list);
}

void ListComPorts(std::vector<std::string>& strings)
{
    const char* extra = std::getenv("QUORLANE_EXTRA_PORTS");
    ListComPortsFrom("/sys/class/tty", extra ? extra : "", strings);
}

#include "listcomports.h"

#include "serialport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A serial-core tty whose UART type reads 0 is a placeholder with no hardware behind it (the ttyS ports that
// the kernel creates in advance).
bool IsPlaceholder(const fs::path& entry)
{
    std::ifstream type(entry / "type");
    int value = -1;
    return type >> value && value == 0;
}

bool IsHardwarePort(const fs::path& entry)
{
    std::error_code error;
    return fs::exists(entry / "device", error) && !IsPlaceholder(entry);
}

// The USB device above a tty's device in the sysfs tree (the directory that carries the vendor id): an adapter's
// tty hangs below its USB interface, which hangs below the device.
std::optional<fs::path> UsbDeviceOf(const fs::path& entry)
{
    std::error_code error;
    fs::path directory = fs::canonical(entry / "device", error);
    if (error)
        return std::nullopt;
    for (; directory.has_relative_path(); directory = directory.parent_path()) {
        if (fs::exists(directory / "idVendor", error))
            return directory;
    }
    return std::nullopt;
}

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

// Manufacturer and product as the adapter names itself, without saying the manufacturer twice.
std::string AdapterName(const fs::path& usbDevice)
{
    const std::string manufacturer = FirstLine(usbDevice / "manufacturer");
    const std::string product = FirstLine(usbDevice / "product");
    if (manufacturer.empty() || product.starts_with(manufacturer))
        return product;
    if (product.empty())
        return manufacturer;
    return manufacturer + " " + product;
}

std::string AdapterId(const fs::path& usbDevice)
{
    const std::string serial = FirstLine(usbDevice / "serial");
    if (!serial.empty())
        return "usb:" + serial;
    return "usb:" + FirstLine(usbDevice / "idVendor") + ":" + FirstLine(usbDevice / "idProduct");
}

// Case-insensitive, character by character: digits compare as characters, so COM10 sorts before COM2.
bool TextLess(const TComPort& a, const TComPort& b)
{
    return std::lexicographical_compare(
        a.Path.begin(), a.Path.end(), b.Path.begin(), b.Path.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

bool Listed(const std::vector<TComPort>& list, const std::string& path)
{
    return std::any_of(list.begin(), list.end(), [&](const TComPort& port) { return port.Path == path; });
}

// A relative port name is taken from the directory the program started in, whatever the current directory is later:
// the flashing tool runs elsewhere and must be given the same device.
std::string AbsolutePath(const std::string& path)
{
    static const fs::path startDirectory = fs::current_path();
    return path.empty() || path.starts_with('/') ? path : (startDirectory / path).lexically_normal().string();
}

void AppendExtraPorts(const std::string& extraPorts, const std::vector<TComPort>& others, std::vector<TComPort>& list)
{
    std::size_t start = 0;
    while (start <= extraPorts.size()) {
        const std::size_t end = std::min(extraPorts.find(':', start), extraPorts.size());
        const std::string path = AbsolutePath(extraPorts.substr(start, end - start));
        if (!path.empty() && !Listed(list, path) && !Listed(others, path))
            list.push_back({path, {}, {}});
        start = end + 1;
    }
}

} // namespace

void ListComPortsFrom(const TPortSource& source, const std::string& extraPorts, std::vector<TComPort>& ports)
{
    std::vector<TComPort> usb;
    std::vector<TComPort> other;
    std::error_code error;
    fs::directory_iterator entries(source.ClassDir, error);
    if (error)
        throw EComPort(EComPort::PortListFailed);
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& entry = entries->path();
        const fs::path node = fs::path(source.DevDir) / entry.filename();
        std::error_code missing;
        if (!IsHardwarePort(entry) || !fs::exists(node, missing))
            continue;
        if (const std::optional<fs::path> device = UsbDeviceOf(entry))
            usb.push_back({node.string(), AdapterName(*device), AdapterId(*device)});
        else
            other.push_back({node.string(), {}, {}});
    }
    if (error)
        throw EComPort(EComPort::PortListFailed);
    std::sort(usb.begin(), usb.end(), TextLess);
    std::sort(other.begin(), other.end(), TextLess);
    AppendExtraPorts(extraPorts, other, usb);
    usb.insert(usb.end(), other.begin(), other.end());
    ports = std::move(usb);
}

void ListComPorts(std::vector<TComPort>& ports, const TPortSource& source)
{
    const char* extra = std::getenv("QUORLANE_EXTRA_PORTS");
    ListComPortsFrom(source, extra ? extra : "", ports);
}

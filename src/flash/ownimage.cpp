#include "ownimage.h"

#include "flashcommands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

constexpr unsigned char ImageMagic = 0xE9;

std::string HexByte(unsigned char byte)
{
    char text[5];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

} // namespace

std::string ReadImageFile(const std::string& path)
{
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    }
    std::string bytes(static_cast<std::size_t>(FlashSize) + 1, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    if (std::ferror(file.get())) {
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    }
    return bytes;
}

std::string OwnImageProblem(const std::string& name, std::string_view bytes)
{
    if (bytes.empty()) {
        return name + " is empty: there is nothing to flash";
    }
    if (static_cast<std::int64_t>(bytes.size()) > FlashSize) {
        return name + " is larger than the board's flash (" + std::to_string(FlashSize / (1024 * 1024)) + " MiB)";
    }
    const auto first = static_cast<unsigned char>(bytes.front());
    if (first != ImageMagic) {
        return name + " is not an ESP8266 image: it starts with " + HexByte(first) + ", an image starts with " +
               HexByte(ImageMagic);
    }
    return {};
}

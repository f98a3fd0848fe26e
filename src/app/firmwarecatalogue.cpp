#include "firmwarecatalogue.h"

#include "httpheader.h"
#include "json.h"
#include "utf8.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <span>
#include <stdexcept>

using namespace quorlane::json;

namespace {

constexpr std::size_t Sha256HexLength = 64;

// The last status line of a head, which is the final answer's when interim answers came first.
std::string StatusLine(const std::vector<std::string>& head)
{
    const auto status = std::find_if(head.rbegin(), head.rend(), [](const std::string& line) {
        return line.starts_with("HTTP/") || line.starts_with("http/");
    });
    return status == head.rend() ? "the answer has no status line" : *status;
}

std::string MemberText(const TJSONobject& object, std::u16string_view name)
{
    const TJSONbase* member = object.Member(name);
    if (member == nullptr) {
        throw std::runtime_error("it has no \"" + Utf16ToUtf8(name) + "\"");
    }
    return member->Value().AsTextStrict();
}

[[noreturn]] void Unreadable(std::u16string_view name)
{
    throw std::runtime_error("its \"" + Utf16ToUtf8(name) + "\" is unreadable");
}

// A size or hash that is there but cannot be read stops the list: ignoring it would flash an unchecked image.
std::optional<std::int64_t> ImageSize(const TJSONobject& object)
{
    const TJSONbase* member = object.Member(u"size");
    if (member == nullptr) {
        return std::nullopt;
    }
    const auto* number = dynamic_cast<const TJSONnumber*>(member);
    const long double value = number != nullptr ? number->Number : -1;
    if (!(value >= 0 && value <= 9e15) || value != static_cast<long double>(static_cast<std::int64_t>(value))) {
        Unreadable(u"size");
    }
    return static_cast<std::int64_t>(value);
}

std::string ImageSha256(const TJSONobject& object)
{
    if (object.Member(u"sha256") == nullptr) {
        return {};
    }
    std::string hash = MemberText(object, u"sha256");
    std::ranges::transform(hash, hash.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (hash.size() != Sha256HexLength || hash.find_first_not_of("0123456789abcdef") != std::string::npos) {
        Unreadable(u"sha256");
    }
    return hash;
}

TCatalogueEntry ReadEntry(const TJSONobject* object)
{
    if (object == nullptr) {
        throw std::runtime_error("it is not an object");
    }
    TCatalogueEntry entry;
    entry.Version = MemberText(*object, u"version");
    entry.Name = MemberText(*object, u"name");
    entry.Size = ImageSize(*object);
    entry.Sha256 = ImageSha256(*object);
    return entry;
}

} // namespace

std::string Sha256Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned char byte : std::span(digest, length)) {
        constexpr char digits[] = "0123456789abcdef";
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

std::chrono::milliseconds ImageDeadline(std::int64_t bytes)
{
    constexpr std::int64_t SlowestBytesPerSecond = 16 * 1024;
    return std::max<std::chrono::milliseconds>(CatalogueDeadline,
                                               std::chrono::milliseconds(bytes * 1000 / SlowestBytesPerSecond));
}

TCatalogueAddress CatalogueAddressFrom(const char* configured)
{
    std::string address = configured != nullptr && *configured != '\0' ? configured : DefaultCatalogueAddress;
    const std::size_t separator = address.find("://");
    std::string scheme = address.substr(0, separator);
    std::ranges::transform(scheme, scheme.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool named =
        separator != std::string::npos && address.size() > separator + 3 && address[separator + 3] != '/';
    if (scheme != "https" || !named) {
        return {{},
                std::string(CatalogueAddressVariable) + " is \"" + address +
                    "\": the firmware catalogue is fetched only over https://"};
    }
    while (address.ends_with('/')) {
        address.pop_back();
    }
    return {address, {}};
}

std::string CatalogueAddress()
{
    TCatalogueAddress checked = CatalogueAddressFrom(std::getenv(CatalogueAddressVariable));
    if (!checked.Error.empty()) {
        throw std::runtime_error(checked.Error);
    }
    return checked.Address;
}

TCatalogue ReadCatalogue(std::int32_t resultCode, const std::vector<std::string>& head,
                         const std::vector<std::string>& lines)
{
    TCatalogue catalogue;
    if (resultCode < 200 || resultCode > 299) {
        catalogue.Error = std::string(CatalogueErrorPrefix) + StatusLine(head);
        return catalogue;
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    const std::unique_ptr<TJSONbase> tree = TJSON::ParseJSONText(text);
    const auto* list = dynamic_cast<const TJSONlist*>(tree.get());
    if (list == nullptr) {
        catalogue.Error = std::string(CatalogueErrorPrefix) + "the answer is not a JSON array";
        return catalogue;
    }
    for (int index = 0; index < list->ItemCount(); ++index) {
        try {
            catalogue.Entries.push_back(ReadEntry(dynamic_cast<const TJSONobject*>(list->Item(index))));
        } catch (const std::exception& error) {
            catalogue.Error = std::string(CatalogueErrorPrefix) +
                              ("element " + std::to_string(index + 1) + " is unreadable: ") + error.what();
            return catalogue;
        }
    }
    return catalogue;
}

std::string ImageMismatch(const TCatalogueEntry& entry, std::string_view image)
{
    const auto size = static_cast<std::int64_t>(image.size());
    if (entry.Size && *entry.Size != size) {
        return "the image has " + std::to_string(size) + " bytes, the catalogue says " + std::to_string(*entry.Size);
    }
    if (!entry.Sha256.empty() && Sha256Hex(image) != entry.Sha256) {
        return "the image's SHA-256 is " + Sha256Hex(image) + ", the catalogue says " + entry.Sha256;
    }
    return {};
}

std::int64_t DownloadSizeFromHead(const std::vector<std::string>& headers)
{
    std::size_t headLength = 0;
    for (const std::string& line : headers) {
        headLength += line.size() + 2;
    }
    const std::optional<std::string> value = quorlane::net::HeaderValue(headers, "Content-Length");
    if (!value) {
        return -1;
    }
    std::int64_t length = 0;
    const char* end = value->data() + value->size();
    const auto [ptr, ec] = std::from_chars(value->data(), end, length);
    if (ec != std::errc() || ptr != end || length < 0) {
        return -1;
    }
    return static_cast<std::int64_t>(headLength) + length;
}

std::int64_t ReadCountBytes(const std::string& value)
{
    std::int64_t count = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), count);
    return ec == std::errc() && count > 0 ? count : 0;
}

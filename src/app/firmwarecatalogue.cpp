#include "firmwarecatalogue.h"

#include "json.h"
#include "textparse.h"
#include "utf8.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <stdexcept>

using namespace quorlane::json;
using quorlane::net::TextAfter;

namespace {

constexpr char ListError[] = "Firmware list error: ";

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

} // namespace

std::string CatalogueAddress()
{
    const char* configured = std::getenv(CatalogueAddressVariable);
    std::string address = configured != nullptr && *configured != '\0' ? configured : DefaultCatalogueAddress;
    while (address.ends_with('/')) {
        address.pop_back();
    }
    return address;
}

TCatalogue ReadCatalogue(std::int32_t resultCode, const std::vector<std::string>& head,
                         const std::vector<std::string>& lines)
{
    TCatalogue catalogue;
    if (resultCode < 200 || resultCode > 299) {
        catalogue.Error = ListError + StatusLine(head);
        return catalogue;
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    const std::unique_ptr<TJSONbase> tree = TJSON::ParseJSONText(text);
    const auto* list = dynamic_cast<const TJSONlist*>(tree.get());
    if (list == nullptr) {
        catalogue.Error = std::string(ListError) + "the answer is not a JSON array";
        return catalogue;
    }
    for (int index = 0; index < list->ItemCount(); ++index) {
        const auto* object = dynamic_cast<const TJSONobject*>(list->Item(index));
        try {
            if (object == nullptr) {
                throw std::runtime_error("it is not an object");
            }
            const std::string version = MemberText(*object, u"version");
            const std::string name = MemberText(*object, u"name");
            catalogue.Entries.push_back(name + " = [" + version + "]");
        } catch (const std::exception& error) {
            catalogue.Error = ListError + ("element " + std::to_string(index + 1) + " is unreadable: ") + error.what();
            return catalogue;
        }
    }
    return catalogue;
}

std::string EntryVersion(const std::string& entry)
{
    const std::string rest = TextAfter(entry, "=");
    return rest.size() < 3 ? std::string() : rest.substr(2, rest.size() - 3);
}

std::int64_t DownloadSizeFromHead(const std::vector<std::string>& headers)
{
    std::size_t headLength = 0;
    for (const std::string& line : headers) {
        headLength += line.size() + 2;
    }
    for (const std::string& line : headers) {
        std::string lower = line;
        std::ranges::transform(lower, lower.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower.find("content-length") == std::string::npos) {
            continue;
        }
        // The characters after "Content-Length:", whose name and colon take 15 characters.
        const std::string value = line.size() > 15 ? line.substr(15) : std::string();
        const std::size_t start = std::min(value.find_first_not_of(' '), value.size());
        std::int64_t length = 0;
        const char* end = value.data() + value.size();
        const auto [ptr, ec] = std::from_chars(value.data() + start, end, length);
        if (ec != std::errc() || ptr != end) {
            throw std::runtime_error("'" + value + "' is not a valid integer value");
        }
        return static_cast<std::int64_t>(headLength) + length;
    }
    return -1;
}

std::int64_t ReadCountBytes(const std::string& value)
{
    std::int64_t count = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), count);
    return ec == std::errc() && count > 0 ? count : 0;
}

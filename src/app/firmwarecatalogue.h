#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The firmware catalogue's addresses and the Firmware page's reading of its answers, apart from the window so that
// tests can feed them directly.

// The catalogue server: scheme, host and optional port, without a trailing slash.
inline constexpr char DefaultCatalogueAddress[] = "https://catalogue.quorlane.net";
// Environment variable that points the program at another catalogue server (tests, the demo, self-hosting).
inline constexpr char CatalogueAddressVariable[] = "QUORLANE_CATALOGUE_URL";
inline constexpr char CataloguePath[] = "/api/firmware/";
// Followed by the percent-encoded version text.
inline constexpr char ImagePath[] = "/api/firmware_download/?file=";
// What a server may take and send: the catalogue's answer within a minute and at most 4 MiB; an image within a time
// that grows with its size (a floor of a minute, then 16 KiB a second at the least), so that a server that trickles
// its bytes cannot hold the window's flow for as long as it likes.
inline constexpr std::chrono::seconds CatalogueDeadline{60};
inline constexpr std::int64_t MaxCatalogueSize = 4 * 1024 * 1024;
std::chrono::milliseconds ImageDeadline(std::int64_t bytes);
// Starts the memo line that says why the catalogue could not be listed.
inline constexpr char CatalogueErrorPrefix[] = "Firmware list error: ";

// The catalogue server's address, or why the configured one is refused.
struct TCatalogueAddress
{
    std::string Address; // scheme, host and optional port without a trailing slash; empty when refused
    std::string Error;   // empty when accepted
};

// The address from the value of QUORLANE_CATALOGUE_URL (null or empty: DefaultCatalogueAddress), trailing slashes
// removed. Only an https:// address is accepted, since the catalogue and the images must come with a checked
// certificate; anything else is refused with a text naming the variable and its value.
TCatalogueAddress CatalogueAddressFrom(const char* configured);

// The address from the environment (see CatalogueAddressFrom); std::runtime_error with the refusal's text when the
// configured one is refused.
std::string CatalogueAddress();

// One firmware project of the catalogue. Size and SHA-256 of its image are optional members beside name and
// version; where the catalogue gives them, a download must match them before it is stored or flashed.
struct TCatalogueEntry
{
    std::string Name;
    std::string Version;
    std::optional<std::int64_t> Size;
    std::string Sha256; // lower-case hex; empty when the catalogue does not give it

    // The entry as the list shows it: name + " = [" + version + "]".
    std::string Text() const { return Name + " = [" + Version + "]"; }
    bool operator==(const TCatalogueEntry&) const = default;
};

// The entries read from a catalogue answer, in its order, and the cause when reading stopped early.
struct TCatalogue
{
    std::vector<TCatalogueEntry> Entries;
    std::string Error; // empty when the whole answer was read
};

// Reads the catalogue from an answer's status code, head and body lines: a JSON array of objects with "name" and
// "version" (and optionally "size" and "sha256"). Entries before an unreadable element are kept.
TCatalogue ReadCatalogue(std::int32_t resultCode, const std::vector<std::string>& head,
                         const std::vector<std::string>& lines);

// The SHA-256 of the bytes, in lower-case hex.
std::string Sha256Hex(std::string_view bytes);

// Why a downloaded image is not the one the entry describes; empty when it matches (or the entry gives no size and
// no hash).
std::string ImageMismatch(const TCatalogueEntry& entry, std::string_view image);

// The progress bar's maximum from a HEAD answer's head: the head's length as text (every line with CR LF) plus the
// value of the first header named Content-Length, or -1 (unknown: the bar goes indeterminate) when there is none or
// its value is not a decimal integer of 0 or more.
std::int64_t DownloadSizeFromHead(const std::vector<std::string>& headers);

// The byte count of one read report; reports of failed reads (0 or below) count nothing.
std::int64_t ReadCountBytes(const std::string& value);

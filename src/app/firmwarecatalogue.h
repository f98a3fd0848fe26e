#pragma once

#include <cstdint>
#include <string>
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

// QUORLANE_CATALOGUE_URL when set and not empty, otherwise DefaultCatalogueAddress; trailing slashes removed.
std::string CatalogueAddress();

// The list entries read from a catalogue answer, in its order, and the cause when reading stopped early.
struct TCatalogue
{
    std::vector<std::string> Entries;
    std::string Error; // empty when the whole answer was read
};

// Reads the catalogue from an answer's status code, head and body lines: a JSON array of objects with "name" and
// "version", each giving the entry name + " = [" + version + "]". Entries before an unreadable element are kept.
TCatalogue ReadCatalogue(std::int32_t resultCode, const std::vector<std::string>& head,
                         const std::vector<std::string>& lines);

// The version text of a list entry: after its first "=", without the first two characters and the last one.
std::string EntryVersion(const std::string& entry);

// The progress bar's maximum from a HEAD answer's head: the head's length as text (every line with CR LF) plus the
// first length header's value, or -1 when there is none. A value that is not a decimal integer is an error.
std::int64_t DownloadSizeFromHead(const std::vector<std::string>& headers);

// The byte count of one read report; reports of failed reads (0 or below) count nothing.
std::int64_t ReadCountBytes(const std::string& value);

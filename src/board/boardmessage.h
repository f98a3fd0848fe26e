#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The Access page's settings, in the order INIT fills them and Save sends them.
enum class TAccessField { Ssid, Pass, BoardName, BoardPass, InitSsid, InitPass, NetIp, NetGate, NetMask };
constexpr int AccessFieldCount = 9;

// The JSON member that carries a field, in INIT and in the settings line.
const char* AccessFieldMember(TAccessField field);

// INIT's network list keeps at most this many networks: the board cannot fill the drop-down list without bound.
constexpr std::size_t MaxScanNetworks = 256;

// One board message, decoded as far as it could be read. Handling a message stops silently at the first member
// that is missing or unreadable and keeps what was done before, so each list holds the values up to that point.
struct TBoardMessage
{
    enum EKind { None, Init, Access, Reboot };
    EKind Kind = None;
    // INIT: the nine field values in TAccessField order, fewer when one was missing.
    std::vector<std::string> Fields;
    // INIT: present when all nine fields were read and "scan" is an array; the entries up to the first one that
    // is not text, each network once (where it first appears) and at most MaxScanNetworks of them.
    std::optional<std::vector<std::string>> Scan;
    // ACCESS: "ip", "gate" and "mask" in that order, fewer when one was missing.
    std::vector<std::string> Address;
};

// Decodes the text after a JSON marker (a blank, one JSON object, a carriage return). Text that is no JSON object,
// has no "operate" or names no known message gives Kind None.
TBoardMessage DecodeBoardMessage(const std::string& text);

#pragma once

#include "serverprocess.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// One bootloader session as the simulator's wire log tells it: the bytes on the line both ways, those the adapter
// garbled, and the time they take at the rates they travelled at (the wire floor).
struct TWireSession
{
    std::int64_t Bytes = 0;
    std::int64_t Garbled = 0;
    double Floor = 0;
};

// Sessions added up: how many, and their bytes and floors together.
struct TWireTotal
{
    int Sessions = 0;
    std::int64_t Bytes = 0;
    std::int64_t Garbled = 0;
    double Floor = 0;
};

// The board simulator with its bootloader, alone in its directory (its flash, its pseudo-terminal's path and its wire
// log there), started with the given options; stopped by its process id when it goes.
class TSimulatedBoard
{
public:
    TSimulatedBoard(const std::filesystem::path& directory, const std::vector<std::string>& options = {});

    const std::string& Port() const { return FPort; }
    // The whole flash memory as it is now.
    std::string Flash() const;
    // Whether the flash holds image at its start.
    bool Holds(const std::string& image) const;
    // The wire log's sessions, once at least count of them have ended (or after a few seconds, as many as there are).
    std::vector<TWireSession> Sessions(std::size_t count) const;

private:
    std::filesystem::path FDirectory;
    quorlane::testsupport::TServerProcess FProcess;
    std::string FPort;
};

// The sessions from first on, added up.
TWireTotal Total(const std::vector<TWireSession>& sessions, std::size_t first = 0);

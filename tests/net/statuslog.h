#pragma once

#include "blocksocket.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

// Records every status report of a socket, in order.
class TStatusLog
{
public:
    void Attach(quorlane::net::TBlockSocket& socket)
    {
        socket.OnStatus = [this](quorlane::net::TBlockSocket*, quorlane::net::THookSocketReason reason,
                                 const std::string& value) { Entries.emplace_back(reason, value); };
    }

    std::vector<std::string> ValuesOf(quorlane::net::THookSocketReason reason) const
    {
        std::vector<std::string> values;
        for (const auto& [r, value] : Entries) {
            if (r == reason) {
                values.push_back(value);
            }
        }
        return values;
    }

    std::vector<quorlane::net::THookSocketReason> Reasons() const
    {
        std::vector<quorlane::net::THookSocketReason> reasons;
        for (const auto& entry : Entries) {
            reasons.push_back(entry.first);
        }
        return reasons;
    }

    std::vector<std::pair<quorlane::net::THookSocketReason, std::string>> Entries;
};

#pragma once

#include <cstdint>

namespace quorlane::net {

// Milliseconds of a monotonic clock, truncated to 32 bits (wraps after about 49 days).
std::uint32_t TickMs();
// Milliseconds between two ticks, tolerating one wrap-around of the counter.
std::uint32_t TickDistance(std::uint32_t oldTick, std::uint32_t newTick);

} // namespace quorlane::net

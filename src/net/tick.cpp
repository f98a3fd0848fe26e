#include "tick.h"

#include <chrono>

namespace quorlane::net {

std::uint32_t TickMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::uint32_t TickDistance(std::uint32_t oldTick, std::uint32_t newTick)
{
    if (oldTick == newTick) {
        return 0;
    }
    if (newTick < oldTick) {
        // The counter wrapped: shifting both by half the range brings them back into order.
        oldTick += 0x80000000u;
        newTick += 0x80000000u;
    }
    return newTick >= oldTick ? newTick - oldTick : oldTick - newTick;
}

} // namespace quorlane::net

#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quorlane::json {

// The generator's output: one byte buffer written through a pointer, starting at 50000 bytes and doubling when
// full (so long outputs cost linear time), copied once into the resulting text.
class TOutputBuffer
{
public:
    TOutputBuffer();

    // Makes room for at least count more bytes and gives the position where they go; Commit then takes the
    // bytes written up to end into the output.
    char* Room(std::size_t count) { return FCapacity - FSize >= count ? FData.get() + FSize : Grow(count); }
    void Commit(const char* end) { FSize = static_cast<std::size_t>(end - FData.get()); }

    void Put(char c)
    {
        *Room(1) = c;
        ++FSize;
    }
    void Put(std::string_view text);

    std::string Text() const { return {FData.get(), FSize}; }

private:
    char* Grow(std::size_t count);

    std::unique_ptr<char[]> FData;
    std::size_t FSize = 0;
    std::size_t FCapacity;
};

} // namespace quorlane::json

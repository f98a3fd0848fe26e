#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace quorlane::net {

// A growable block of bytes with a read/write position. HTTP bodies live here; the block grows with the bytes
// written, never with a size a peer announces. It doubles when full, by realloc, which moves a large block by
// remapping its pages rather than copying them, so a body of hundreds of megabytes arrives at the network's speed.
class TMemoryStream
{
public:
    std::int64_t Read(void* buffer, std::int64_t count);
    std::int64_t Write(const void* buffer, std::int64_t count);

    std::int64_t Position() const { return FPosition; }
    void SetPosition(std::int64_t position);
    std::int64_t Size() const { return FSize; }
    void SetSize(std::int64_t size);
    void Clear();

    std::string_view View() const { return {FBlock.get(), static_cast<std::size_t>(FSize)}; }

private:
    struct TFree
    {
        void operator()(char* block) const { std::free(block); }
    };

    // Makes room for capacity bytes; std::bad_alloc when there is no memory for them.
    void Grow(std::int64_t capacity);

    std::unique_ptr<char, TFree> FBlock;
    std::int64_t FSize = 0;
    std::int64_t FCapacity = 0;
    std::int64_t FPosition = 0;
};

// A text of up to count bytes read from the stream's position (shorter when the stream ends first).
std::string ReadStreamText(TMemoryStream& stream, std::int64_t count);
// The text's bytes written at the stream's position.
void WriteStreamText(TMemoryStream& stream, std::string_view text);

} // namespace quorlane::net

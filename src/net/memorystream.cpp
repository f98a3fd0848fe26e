#include "memorystream.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quorlane::net {

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    const std::int64_t n = std::clamp<std::int64_t>(Size() - FPosition, 0, std::max<std::int64_t>(count, 0));
    if (n > 0) {
        std::memcpy(buffer, FBlock.get() + FPosition, static_cast<std::size_t>(n));
        FPosition += n;
    }
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0) {
        return 0;
    }
    const std::int64_t end = FPosition + count;
    if (end > FCapacity) {
        Grow(std::max(end, 2 * FCapacity));
    }
    std::memcpy(FBlock.get() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    FSize = std::max(FSize, end);
    return count;
}

void TMemoryStream::Grow(std::int64_t capacity)
{
    char* block = static_cast<char*>(std::realloc(FBlock.get(), static_cast<std::size_t>(capacity)));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    static_cast<void>(FBlock.release());
    FBlock.reset(block);
    FCapacity = capacity;
}

void TMemoryStream::SetPosition(std::int64_t position)
{
    FPosition = std::clamp<std::int64_t>(position, 0, Size());
}

void TMemoryStream::SetSize(std::int64_t size)
{
    size = std::max<std::int64_t>(size, 0);
    if (size > FCapacity) {
        Grow(size);
    }
    if (size > FSize) {
        std::memset(FBlock.get() + FSize, 0, static_cast<std::size_t>(size - FSize));
    }
    FSize = size;
    FPosition = std::min(FPosition, FSize);
}

void TMemoryStream::Clear()
{
    FBlock.reset();
    FSize = 0;
    FCapacity = 0;
    FPosition = 0;
}

std::string ReadStreamText(TMemoryStream& stream, std::int64_t count)
{
    std::string text(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), '\0');
    text.resize(static_cast<std::size_t>(stream.Read(text.data(), count)));
    return text;
}

void WriteStreamText(TMemoryStream& stream, std::string_view text)
{
    stream.Write(text.data(), static_cast<std::int64_t>(text.size()));
}

} // namespace quorlane::net

#include "memorystream.h"

#include <algorithm>
#include <cstring>

namespace quorlane::net {

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    const std::int64_t n = std::clamp<std::int64_t>(Size() - FPosition, 0, std::max<std::int64_t>(count, 0));
    if (n > 0) {
        std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
        FPosition += n;
    }
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0) {
        return 0;
    }
    const auto end = static_cast<std::size_t>(FPosition + count);
    if (end > FData.capacity()) {
        FData.reserve(std::max(end, 2 * FData.capacity()));
    }
    if (end > FData.size()) {
        FData.resize(end);
    }
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition += count;
    return count;
}

void TMemoryStream::SetPosition(std::int64_t position)
{
    FPosition = std::clamp<std::int64_t>(position, 0, Size());
}

void TMemoryStream::SetSize(std::int64_t size)
{
    FData.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear()
{
    std::string().swap(FData);
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

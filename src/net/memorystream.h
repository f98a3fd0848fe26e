#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorlane::net {

// A growable block of bytes with a read/write position. HTTP bodies live here; the block grows with the bytes
// written, never with a size a peer announces, and doubles when full so that appending stays cheap.
class TMemoryStream
{
public:
    std::int64_t Read(void* buffer, std::int64_t count);
    std::int64_t Write(const void* buffer, std::int64_t count);

    std::int64_t Position() const { return FPosition; }
    void SetPosition(std::int64_t position);
    std::int64_t Size() const { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t size);
    void Clear();

    std::string_view View() const { return FData; }

private:
    std::string FData;
    std::int64_t FPosition = 0;
};

// A text of up to count bytes read from the stream's position (shorter when the stream ends first).
std::string ReadStreamText(TMemoryStream& stream, std::int64_t count);
// The text's bytes written at the stream's position.
void WriteStreamText(TMemoryStream& stream, std::string_view text);

} // namespace quorlane::net

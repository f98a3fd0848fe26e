// Framed data: 32-bit integers, blocks that carry their size, and memory streams sent or read whole.

#include "blocksocket.h"

#include "addresstext.h"

namespace quorlane::net {

namespace {

std::string Int32Bytes(std::uint32_t value, bool networkOrder)
{
    const std::string bigEndian = PackUInt32(value);
    return networkOrder ? bigEndian : std::string(bigEndian.rbegin(), bigEndian.rend());
}

std::int32_t Int32FromBytes(const std::string& bytes, bool networkOrder)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const auto b = static_cast<unsigned char>(bytes[static_cast<std::size_t>(networkOrder ? i : 3 - i)]);
        value = value << 8 | b;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

void TBlockSocket::SendInt32(std::int32_t value)
{
    SendText(Int32Bytes(static_cast<std::uint32_t>(value), false));
}

void TBlockSocket::SendSizedBlock(const std::string& text)
{
    SendText(Int32Bytes(static_cast<std::uint32_t>(text.size()), false) + text);
}

void TBlockSocket::SendStreamData(TMemoryStream& stream, bool withSize, bool networkOrder)
{
    const std::int64_t remaining = stream.Size() - stream.Position();
    bool first = true;
    while (true) {
        std::string piece = ReadStreamText(stream, SendMaxChunk);
        if (piece.empty()) {
            break;
        }
        if (first && withSize) {
            piece.insert(0, Int32Bytes(static_cast<std::uint32_t>(remaining), networkOrder));
        }
        first = false;
        SendText(piece);
        if (ErrorNumber != 0) {
            break;
        }
    }
}

void TBlockSocket::SendStreamPlain(TMemoryStream& stream)
{
    SendStreamData(stream, false, false);
}

void TBlockSocket::SendStreamSized(TMemoryStream& stream)
{
    SendStreamData(stream, true, false);
}

void TBlockSocket::SendStreamSizedNet(TMemoryStream& stream)
{
    SendStreamData(stream, true, true);
}

std::int32_t TBlockSocket::ReadInt32(int ms)
{
    const std::string bytes = ReadExactText(4, ms);
    return ErrorNumber == 0 ? Int32FromBytes(bytes, false) : 0;
}

std::string TBlockSocket::ReadSizedBlock(int ms)
{
    const std::int32_t length = ReadInt32(ms);
    return ErrorNumber == 0 ? ReadExactText(length, ms) : std::string();
}

void TBlockSocket::ReadStreamUntilClose(TMemoryStream& stream, int ms)
{
    while (true) {
        const std::string piece = ReadAvailable(ms);
        if (ErrorNumber != 0) {
            break;
        }
        WriteStreamText(stream, piece);
    }
}

void TBlockSocket::ReadInt32Into(TMemoryStream& stream, int ms, bool networkOrder)
{
    const std::string bytes = ReadExactText(4, ms);
    if (ErrorNumber == 0) {
        ReadStreamOfLength(stream, ms, Int32FromBytes(bytes, networkOrder));
    }
}

void TBlockSocket::ReadStreamSized(TMemoryStream& stream, int ms)
{
    ReadInt32Into(stream, ms, false);
}

void TBlockSocket::ReadStreamSizedNet(TMemoryStream& stream, int ms)
{
    ReadInt32Into(stream, ms, true);
}

void TBlockSocket::ReadStreamOfLength(TMemoryStream& stream, int ms, std::int64_t length)
{
    const std::int64_t pieces = length / SendMaxChunk;
    for (std::int64_t i = 0; i < pieces; ++i) {
        const std::string piece = ReadExactText(SendMaxChunk, ms);
        if (ErrorNumber != 0) {
            return;
        }
        WriteStreamText(stream, piece);
    }
    const auto rest = static_cast<int>(length % SendMaxChunk);
    if (rest > 0) {
        const std::string piece = ReadExactText(rest, ms);
        if (ErrorNumber == 0) {
            WriteStreamText(stream, piece);
        }
    }
}
} // namespace quorlane::net

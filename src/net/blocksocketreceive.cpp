// Receiving: raw reads and datagrams, the receive buffer, and reading up to a terminator or a length.

#include "blocksocket.h"

#include "socketerror.h"
#include "socketerrorcode.h"
#include "textparse.h"
#include "tick.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace quorlane::net {

namespace {

// What a read asks for when the connection looks ended: at most one TLS record's text, should bytes arrive after all.
constexpr int EndProbeSize = 16384;

} // namespace

int TBlockSocket::ReceiveRaw(void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    ThrottleTransfer(length, MaxRecvBandwidth, NextRecvTick);
    int count = static_cast<int>(recv(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)), 0));
    OrderlyEnd = count == 0;
    if (count == 0) {
        ClearError();
        ErrorNumber = WSAECONNRESET; // the peer ended the connection
    } else {
        CheckResult(count);
    }
    ReportError();
    if (count > 0) {
        BytesReceived += count;
        ReportStatus(HR_ReadCount, std::to_string(count));
        NotifyTraffic(false, buffer, count);
        count = FilterReceived(buffer, count);
    }
    return count;
}

int TBlockSocket::ReceiveDatagram(void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    ThrottleTransfer(length, MaxRecvBandwidth, NextRecvTick);
    RemoteAddress = TSockAddress{};
    socklen_t addressLength = sizeof RemoteAddress;
    int count = static_cast<int>(recvfrom(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)), 0,
                                          &RemoteAddress.Generic, &addressLength));
    CheckResult(count);
    ReportError();
    if (count > 0) {
        BytesReceived += count;
    }
    ReportStatus(HR_ReadCount, std::to_string(count));
    if (count > 0) {
        NotifyTraffic(false, buffer, count);
        count = FilterReceived(buffer, count);
    }
    return count;
}

int TBlockSocket::PeekRaw(void* buffer, int length)
{
    const auto count = static_cast<int>(recv(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)), MSG_PEEK));
    CheckResult(count);
    ReportError();
    return count;
}

std::uint8_t TBlockSocket::PeekOneByte(int ms)
{
    std::uint8_t value = 0;
    ClearError();
    if (!WaitReadable(ms)) {
        ErrorNumber = WSAETIMEDOUT;
        ReportError();
        return 0;
    }
    return PeekRaw(&value, 1) == 1 ? value : 0;
}

std::string TBlockSocket::ReadAvailable(int ms)
{
    std::string result;
    ClearError();
    if (!PendingInput.empty()) {
        result.swap(PendingInput);
    } else {
        // Yield before every read so that a long transfer does not keep a core busy.
        std::this_thread::yield();
        int count = PendingByteCount();
        if (count == 0) {
            if (WaitReadable(ms)) {
                // Readable with nothing counted: the peer ended the connection. The read tells how (an orderly end
                // or a cut, under TLS with or without close_notify), or takes bytes that arrived meanwhile.
                count = PendingByteCount();
                count = count > 0 ? count : EndProbeSize;
            } else if (ErrorNumber == 0) {
                ErrorNumber = WSAETIMEDOUT;
            }
        }
        if (count > 0) {
            if (FReceiveBuffer.size() < static_cast<std::size_t>(count)) {
                FReceiveBuffer.resize(static_cast<std::size_t>(count));
            }
            const int received = ReceiveRaw(FReceiveBuffer.data(), count);
            if (ErrorNumber == 0 && received > 0) {
                result.assign(FReceiveBuffer.data(), static_cast<std::size_t>(received));
            }
        }
    }
    if (ConvertLineEnd && !result.empty()) {
        if (SawLoneCR && result.front() == '\n') {
            result.erase(0, 1);
        }
        if (SawLoneLF && !result.empty() && result.front() == '\r') {
            result.erase(0, 1);
        }
        SawLoneCR = false;
        SawLoneLF = false;
    }
    ReportError();
    return result;
}

std::string TBlockSocket::ReadUntil(int ms, const std::string& terminator)
{
    ClearError();
    if (terminator.empty()) {
        return {};
    }
    const bool lineMode = ConvertLineEnd && terminator == "\r\n";
    std::string buffer;
    std::size_t position = std::string::npos;
    std::size_t endLength = terminator.size();
    // Each search starts where the last one ended (less what a terminator split across reads needs), so that a line
    // arriving a byte at a time is not scanned again with every byte.
    std::size_t searched = 0;
    while (true) {
        const std::uint32_t started = TickMs();
        buffer += ReadAvailable(ms);
        if (ErrorNumber != 0) {
            break;
        }
        if (lineMode) {
            const TLineBreak lineBreak = FindLineBreak(std::string_view(buffer).substr(searched));
            if (lineBreak.Position >= 0) {
                position = searched + static_cast<std::size_t>(lineBreak.Position);
                endLength = lineBreak.LineEnd.size();
                SawLoneCR = lineBreak.LineEnd == "\r";
                SawLoneLF = lineBreak.LineEnd == "\n";
            }
        } else {
            position = buffer.find(terminator, searched);
        }
        searched = buffer.size() - std::min(buffer.size(), terminator.size() - 1);
        // The line itself counts, not what arrived after its end.
        const std::size_t lineLength = position != std::string::npos ? position : buffer.size();
        if (MaxLineLength > 0 && lineLength > static_cast<std::size_t>(MaxLineLength)) {
            ErrorNumber = WSAENOBUFS;
            position = std::string::npos;
            break;
        }
        if (position != std::string::npos) {
            break;
        }
        if (!InterPacketTimeout && ms >= 0) {
            ms -= static_cast<int>(TickDistance(started, TickMs()));
            if (ms <= 0) {
                ErrorNumber = WSAETIMEDOUT;
                break;
            }
        }
    }
    std::string result;
    if (position != std::string::npos) {
        result = buffer.substr(0, position);
        buffer.erase(0, position + endLength);
    }
    PendingInput = std::move(buffer);
    ReportError();
    return result;
}

std::string TBlockSocket::ReadLine(int ms)
{
    std::string line = ReadUntil(ms, "\r\n");
    return ErrorNumber == 0 ? line : std::string();
}

int TBlockSocket::ReadExact(void* buffer, int length, int ms)
{
    auto* target = static_cast<char*>(buffer);
    int copied = 0;
    ReadExactPieces(length, ms, [&](std::string_view piece) {
        std::memcpy(target + copied, piece.data(), piece.size());
        copied += static_cast<int>(piece.size());
    });
    return copied;
}

// The text grows with the bytes that arrive: a length a peer announces (a sized block's) is taken at once only up
// to one send piece, which is also what a stream read asks for at a time.
std::string TBlockSocket::ReadExactText(int length, int ms)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(std::clamp(length, 0, SendMaxChunk)));
    ReadExactPieces(length, ms, [&text](std::string_view piece) { text += piece; });
    return ErrorNumber == 0 ? text : std::string();
}

void TBlockSocket::ReadExactPieces(int length, int ms, const std::function<void(std::string_view)>& take)
{
    ClearError();
    if (length <= 0) {
        return;
    }
    int copied = 0;
    std::string piece;
    std::size_t used = 0;
    while (true) {
        const std::uint32_t started = TickMs();
        piece = ReadAvailable(ms);
        used = std::min(piece.size(), static_cast<std::size_t>(length - copied));
        take(std::string_view(piece).substr(0, used));
        copied += static_cast<int>(used);
        if (ErrorNumber != 0 || copied >= length) {
            break;
        }
        if (!InterPacketTimeout && ms >= 0) {
            ms -= static_cast<int>(TickDistance(started, TickMs()));
            if (ms <= 0) {
                ErrorNumber = WSAETIMEDOUT;
                ReportError();
                break;
            }
        }
    }
    PendingInput = piece.substr(used);
}

std::uint8_t TBlockSocket::ReadOneByte(int ms)
{
    ClearError();
    if (PendingInput.empty()) {
        PendingInput = ReadAvailable(ms);
    }
    if (ErrorNumber != 0 || PendingInput.empty()) {
        return 0;
    }
    const auto value = static_cast<std::uint8_t>(PendingInput.front());
    PendingInput.erase(0, 1);
    return value;
}

void TBlockSocket::DrainInput()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    try {
        while (!PendingInput.empty() || PendingByteCount() > 0) {
            ReadAvailable(0);
            if (ErrorNumber != 0) {
                break;
            }
        }
    } catch (const ESocketError&) {
        // A failure while discarding unread input does not matter to a connection that is closing.
    }
    ClearError();
}
} // namespace quorlane::net

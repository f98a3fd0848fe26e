// Sending bytes, texts and datagrams.

#include "blocksocket.h"

#include "socketerrorcode.h"

#include <sys/socket.h>

#include <algorithm>

namespace quorlane::net {

int TBlockSocket::SendBytes(const void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    NotifyTraffic(true, buffer, length);
    return SendInPieces(static_cast<const char*>(buffer), length, [this](const char* piece, int size) {
        auto count = static_cast<int>(send(Handle, piece, static_cast<std::size_t>(size), MSG_NOSIGNAL));
        CheckResult(count);
        if (ErrorNumber == WSAEWOULDBLOCK) {
            if (WaitWritable(NonblockSendTimeout)) {
                count = static_cast<int>(send(Handle, piece, static_cast<std::size_t>(size), MSG_NOSIGNAL));
                CheckResult(count);
            } else {
                ErrorNumber = WSAETIMEDOUT;
            }
        }
        return count;
    });
}

int TBlockSocket::SendInPieces(const char* bytes, int length, const std::function<int(const char*, int)>& sendPiece)
{
    int sent = 0;
    while (sent < length) {
        const int piece = std::min(SendMaxChunk, length - sent);
        ThrottleTransfer(piece, MaxSendBandwidth, NextSendTick);
        const int count = sendPiece(bytes + sent, piece);
        if (ErrorNumber != 0) {
            break;
        }
        sent += count;
        BytesSent += count;
        ReportStatus(HR_WriteCount, std::to_string(count));
    }
    ReportError();
    return sent;
}

void TBlockSocket::SendOneByte(std::uint8_t value)
{
    SendBytes(&value, 1);
}

void TBlockSocket::SendText(const std::string& text)
{
    SendBytes(text.data(), static_cast<int>(text.size()));
}

int TBlockSocket::SendDatagram(const void* buffer, int length)
{
    if (CheckStopRequest()) {
        return 0;
    }
    NotifyTraffic(true, buffer, length);
    ThrottleTransfer(length, MaxSendBandwidth, NextSendTick);
    const auto count = static_cast<int>(sendto(Handle, buffer, static_cast<std::size_t>(std::max(length, 0)),
                                               MSG_NOSIGNAL, &RemoteAddress.Generic, AddressLength(RemoteAddress)));
    CheckResult(count);
    ReportError();
    if (count > 0) {
        BytesSent += count;
    }
    ReportStatus(HR_WriteCount, std::to_string(count));
    return count;
}
} // namespace quorlane::net

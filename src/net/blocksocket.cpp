// The socket's lifetime, its error bookkeeping and texts, and the hooks that report its steps.

#include "blocksocket.h"

#include "socketerror.h"
#include "socketerrorcode.h"

#include <sys/socket.h>

#include <cstring>
#include <map>

namespace quorlane::net {

TBlockSocket::TBlockSocket() = default;

TBlockSocket::~TBlockSocket()
{
    // A derived socket closes itself in its own destructor; this only catches a handle still open.
    if (Handle != InvalidSocket) {
        TBlockSocket::AbortConnection();
    }
}

void TBlockSocket::SetFamily(TSocketFamily value)
{
    FFamily = value;
    ConfiguredFamily = value;
}

void TBlockSocket::SetMaxBandwidth(int value)
{
    MaxSendBandwidth = value;
    MaxRecvBandwidth = value;
}

int TBlockSocket::PlatformFamily(TSocketFamily family) const
{
    switch (family) {
    case SF_IP4:
        return AF_INET;
    case SF_IP6:
        return AF_INET6;
    default:
        return AF_UNSPEC;
    }
}

// Error bookkeeping

void TBlockSocket::ClearError()
{
    ErrorNumber = 0;
    ErrorText.clear();
}

int TBlockSocket::CheckResult(int platformResult)
{
    ClearError();
    if (platformResult == -1) {
        ErrorNumber = LastSocketError();
        ErrorText = GetErrorDescEx();
    }
    return ErrorNumber;
}

void TBlockSocket::ReportError()
{
    ErrorText = GetErrorDescEx();
    if (ErrorNumber == 0 || ErrorNumber == WSAEWOULDBLOCK || ErrorNumber == WSAEINPROGRESS) {
        return;
    }
    ReportStatus(HR_Error, std::to_string(ErrorNumber) + "," + ErrorText);
    if (RaiseExcept) {
        throw ESocketError("TCP/IP Socket error " + std::to_string(ErrorNumber) + ": " + ErrorText, ErrorNumber,
                           ErrorText);
    }
}

void TBlockSocket::ReportStatus(THookSocketReason reason, const std::string& value)
{
    if (OnStatus) {
        OnStatus(this, reason, value);
    }
}

bool TBlockSocket::CheckStopRequest()
{
    if (!StopRequested()) {
        return false;
    }
    ReportError();
    return true;
}

bool TBlockSocket::StopRequested()
{
    NotifyHeartbeat();
    if (!StopFlag) {
        return DeadlinePassed();
    }
    StopFlag = false;
    StopReason = SR_StopFlag;
    ErrorNumber = WSAECONNABORTED;
    return true;
}

std::string TBlockSocket::GetErrorDescEx()
{
    return GetErrorDesc(ErrorNumber);
}

// Hooks

int TBlockSocket::FilterReceived(void* buffer, int count)
{
    if (!OnReadFilter || count <= 0) {
        return count;
    }
    std::string value(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
    OnReadFilter(this, value);
    if (value.size() > static_cast<std::size_t>(count)) {
        value.resize(static_cast<std::size_t>(count));
    }
    std::memcpy(buffer, value.data(), value.size());
    return static_cast<int>(value.size());
}

void TBlockSocket::NotifyTraffic(bool writing, const void* buffer, int length)
{
    if (OnMonitor) {
        OnMonitor(this, writing, buffer, length);
    }
}

void TBlockSocket::NotifyHeartbeat()
{
    if (OnHeartbeat && HeartbeatRate != 0) {
        OnHeartbeat(this);
    }
}

void TBlockSocket::NotifyCreated()
{
    if (OnCreateSocket) {
        OnCreateSocket(this);
    }
}

int TBlockSocket::SocketTypeCode()
{
    return 0;
}

int TBlockSocket::ProtocolCode()
{
    return 0;
}

std::string TBlockSocket::GetErrorDesc(int number)
{
    static const std::map<int, std::string> texts{
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on nonsocket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for Socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket not supported"},
        {10045, "Operation not supported on Socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No Buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after Socket shutdown"},
        {10059, "Too many references:can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name is too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory is not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disk quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network subsystem is unusable"},
        {10092, "Winsock DLL cannot support this application"},
        {10093, "Winsock not initialized"},
        {10101, "Disconnect"},
        {11001, "Host not found"},
        {11002, "Non authoritative - host not found"},
        {11003, "Non recoverable error"},
        {11004, "Valid name, no data record of requested type"},
    };
    if (number == 0) {
        return {};
    }
    const auto found = texts.find(number);
    return found != texts.end() ? found->second : "Other Winsock error (" + std::to_string(number) + ")";
}

} // namespace quorlane::net

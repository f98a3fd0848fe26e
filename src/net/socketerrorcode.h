#pragma once

namespace quorlane::net {

// Error numbers of the socket classes that the code tests by value.
enum TSocketErrorCode : int {
    WSAEINTR = 10004,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSASYSNOTREADY = 10091,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// Translates the platform's errno values and name-lookup (getaddrinfo) results into the socket classes' numbers.
int SocketErrorFromErrno(int errnoValue);
int SocketErrorFromAddrInfo(int addrInfoResult, int errnoValue);
// The number of the last failed socket call on this thread.
int LastSocketError();

} // namespace quorlane::net

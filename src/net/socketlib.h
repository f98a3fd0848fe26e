#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorlane::net {

// The platform's socket handle; -1 is the invalid value.
using TSocket = int;
inline constexpr TSocket InvalidSocket = -1;

// The address record the socket classes pass around: an IPv4 or IPv6 socket address, zero-filled before use.
union TSockAddress {
    sockaddr Generic;
    sockaddr_in IPv4;
    sockaddr_in6 IPv6;
};
static_assert(sizeof(TSockAddress) == 28);

// Length to hand to the platform with the record: by family, 0 for an unset record.
socklen_t AddressLength(const TSockAddress& record);

// Handles watched by one readiness wait; adding to a full set does nothing.
struct TSocketSet
{
    static constexpr int Capacity = 64;
    int Count = 0;
    TSocket Handles[Capacity] = {};

    void Clear() { Count = 0; }
    void Add(TSocket handle);
};

// Start and end use of the socket interface. Loading counts nested uses; on this platform the interface is part
// of the C library, so loading cannot fail, but the count is kept so a matching unload pairs every load.
bool LoadSocketLibrary();
bool UnloadSocketLibrary();
int SocketLibraryLoadCount();

// Name resolution. Families are the platform's values (AF_UNSPEC, AF_INET, AF_INET6). Results are error numbers
// of the socket classes' table (0 on success, 11001 for a name that does not exist).
int FillAddress(TSockAddress& record, const std::string& host, const std::string& port, int family, int protocol,
                int type, bool preferIPv4);
int LookupAddress(const std::string& host, const std::string& port, int family, int protocol, int type,
                  TSockAddress& record);
std::string AddressToText(const TSockAddress& record);
int AddressToPort(const TSockAddress& record);
void ResolveNameList(const std::string& name, int family, int protocol, int type, std::vector<std::string>& list);
int ResolveServicePort(const std::string& port, int family, int protocol, int type);
std::string ResolveAddressName(const std::string& address, int family, int protocol, int type);
std::string HostNameText();

} // namespace quorlane::net

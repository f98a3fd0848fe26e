#include "socketlib.h"

#include "socketerrorcode.h"

#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace quorlane::net {

namespace {

std::mutex ResolverLock;
int LoadCount = 0;

// Names under the reserved top-level domain "invalid" never exist; answering them here keeps such a lookup from
// leaving the machine.
bool IsReservedInvalidName(std::string name)
{
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name == "invalid" || (name.size() > 8 && name.ends_with(".invalid"));
}

struct TAddrInfoList
{
    addrinfo* First = nullptr;
    int Error = 0;

    TAddrInfoList(const char* node, const char* service, const addrinfo& hints)
    {
        if (node != nullptr && IsReservedInvalidName(node)) {
            Error = WSAHOST_NOT_FOUND;
            return;
        }
        const int result = getaddrinfo(node, service, &hints, &First);
        Error = SocketErrorFromAddrInfo(result, errno);
        if (result != 0) {
            First = nullptr;
        }
    }
    ~TAddrInfoList()
    {
        if (First != nullptr) {
            freeaddrinfo(First);
        }
    }
    TAddrInfoList(const TAddrInfoList&) = delete;
    TAddrInfoList& operator=(const TAddrInfoList&) = delete;
};

addrinfo MakeHints(int family, int protocol, int type, int flags = 0)
{
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_protocol = protocol;
    hints.ai_socktype = type;
    hints.ai_flags = flags;
    return hints;
}

void CopyAddress(const addrinfo* info, TSockAddress& record)
{
    std::memcpy(&record, info->ai_addr, std::min<std::size_t>(info->ai_addrlen, sizeof record));
}

std::string NumericHost(const sockaddr* address, socklen_t length)
{
    char host[1025];
    char service[32];
    if (getnameinfo(address, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) !=
        0) {
        return {};
    }
    return host;
}

// The socket interface is in use from program start to program end.
struct TSocketLibraryUse
{
    TSocketLibraryUse() { LoadSocketLibrary(); }
    ~TSocketLibraryUse() { UnloadSocketLibrary(); }
    TSocketLibraryUse(const TSocketLibraryUse&) = delete;
    TSocketLibraryUse& operator=(const TSocketLibraryUse&) = delete;
};

} // namespace

socklen_t AddressLength(const TSockAddress& record)
{
    switch (record.Generic.sa_family) {
    case AF_INET:
        return sizeof(sockaddr_in);
    case AF_INET6:
        return sizeof(sockaddr_in6);
    default:
        return 0;
    }
}

void TSocketSet::Add(TSocket handle)
{
    if (Count < Capacity) {
        Handles[Count++] = handle;
    }
}

bool LoadSocketLibrary()
{
    const std::lock_guard lock(ResolverLock);
    ++LoadCount;
    return true;
}

bool UnloadSocketLibrary()
{
    const std::lock_guard lock(ResolverLock);
    LoadCount = std::max(LoadCount - 1, 0);
    return true;
}

namespace {
const TSocketLibraryUse SocketLibraryUse;
} // namespace

int SocketLibraryLoadCount()
{
    const std::lock_guard lock(ResolverLock);
    return LoadCount;
}

int FillAddress(TSockAddress& record, const std::string& host, const std::string& port, int family, int protocol,
                int type, bool preferIPv4)
{
    record = TSockAddress{};
    int firstFamily = family;
    int secondFamily = AF_UNSPEC;
    if (family == AF_UNSPEC) {
        firstFamily = preferIPv4 ? AF_INET : AF_INET6;
        secondFamily = preferIPv4 ? AF_INET6 : AF_INET;
    }
    int result = LookupAddress(host, port, firstFamily, protocol, type, record);
    if (result != 0 && secondFamily != AF_UNSPEC) {
        TSockAddress second{};
        result = LookupAddress(host, port, secondFamily, protocol, type, second);
        if (result == 0) {
            record = second;
        }
    }
    return result;
}

int LookupAddress(const std::string& host, const std::string& port, int family, int protocol, int type,
                  TSockAddress& record)
{
    record = TSockAddress{};
    const char* node = host.c_str();
    const char* service = port.c_str();
    addrinfo hints = MakeHints(family, protocol, type);
    if (type == SOCK_RAW) {
        hints = MakeHints(family, 0, 0);
        service = nullptr;
    } else if (host == "0.0.0.0" || host == "::0") {
        hints.ai_flags = AI_PASSIVE;
        node = nullptr;
    } else if (host == "127.0.0.1" || host == "::1") {
        node = nullptr; // the loopback address of the hinted family, without asking a name service
    }
    const TAddrInfoList list(node, service, hints);
    if (list.First != nullptr) {
        CopyAddress(list.First, record);
    }
    return list.Error;
}

std::string AddressToText(const TSockAddress& record)
{
    return NumericHost(&record.Generic, std::max<socklen_t>(AddressLength(record), sizeof(sockaddr_in)));
}

int AddressToPort(const TSockAddress& record)
{
    switch (record.Generic.sa_family) {
    case AF_INET:
        return ntohs(record.IPv4.sin_port);
    case AF_INET6:
        return ntohs(record.IPv6.sin6_port);
    default:
        return 0;
    }
}

void ResolveNameList(const std::string& name, int family, int protocol, int type, std::vector<std::string>& list)
{
    list.clear();
    const TAddrInfoList found(name.c_str(), nullptr, MakeHints(AF_UNSPEC, protocol, type));
    for (const addrinfo* info = found.First; info != nullptr; info = info->ai_next) {
        if ((family == AF_INET6 && info->ai_family == AF_INET) || (family == AF_INET && info->ai_family == AF_INET6)) {
            continue;
        }
        list.push_back(NumericHost(info->ai_addr, info->ai_addrlen));
    }
    if (list.empty()) {
        list.emplace_back("0.0.0.0");
    }
}

int ResolveServicePort(const std::string& port, int family, int protocol, int type)
{
    const TAddrInfoList found(nullptr, port.c_str(), MakeHints(family, protocol, type, AI_PASSIVE));
    if (found.First == nullptr) {
        return 0;
    }
    TSockAddress record{};
    CopyAddress(found.First, record);
    return AddressToPort(record);
}

std::string ResolveAddressName(const std::string& address, int family, int protocol, int type)
{
    const TAddrInfoList found(address.c_str(), nullptr, MakeHints(family, protocol, type));
    if (found.First == nullptr) {
        return address;
    }
    char host[1025];
    if (getnameinfo(found.First->ai_addr, found.First->ai_addrlen, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
        return address;
    }
    return host;
}

std::string HostNameText()
{
    char name[255] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

} // namespace quorlane::net

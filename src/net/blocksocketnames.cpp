// Addresses of both ends and name lookups.

#include "blocksocket.h"

#include "addresstext.h"

namespace quorlane::net {

std::string TBlockSocket::LocalIPText()
{
    return AddressToText(LocalAddress);
}

std::string TBlockSocket::RemoteIPText()
{
    return AddressToText(RemoteAddress);
}

int TBlockSocket::LocalPortNumber()
{
    return AddressToPort(LocalAddress);
}

int TBlockSocket::RemotePortNumber()
{
    return AddressToPort(RemoteAddress);
}

std::string TBlockSocket::LocalHostName()
{
    const std::string name = HostNameText();
    return name.empty() ? "127.0.0.1" : name;
}

void TBlockSocket::ResolveHostAll(const std::string& name, std::vector<std::string>& list)
{
    ResolveNameList(name, PlatformFamily(FFamily), ProtocolCode(), SocketTypeCode(), list);
}

std::string TBlockSocket::ResolveHost(const std::string& name)
{
    std::vector<std::string> list;
    ResolveHostAll(name, list);
    return list.front();
}

int TBlockSocket::ServicePort(const std::string& port)
{
    return ResolveServicePort(port, PlatformFamily(FFamily), ProtocolCode(), SocketTypeCode());
}

std::string TBlockSocket::ReverseLookup(const std::string& name)
{
    const std::string address = IsIPv4Text(name) || IsIPv6Text(name) ? name : ResolveHost(name);
    return ResolveAddressName(address, PlatformFamily(FFamily), ProtocolCode(), SocketTypeCode());
}
} // namespace quorlane::net

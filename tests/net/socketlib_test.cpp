#include "socketerrorcode.h"
#include "socketlib.h"

#include <netdb.h>

#include <gtest/gtest.h>

#include <cerrno>

using namespace quorlane::net;

TEST(FillAddressTest, NumericLoopbackNeedsNoNameService)
{
    TSockAddress record{};
    ASSERT_EQ(FillAddress(record, "127.0.0.1", "80", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, true), 0);
    EXPECT_EQ(record.Generic.sa_family, AF_INET);
    EXPECT_EQ(AddressLength(record), sizeof(sockaddr_in));
    EXPECT_EQ(AddressToText(record), "127.0.0.1");
    EXPECT_EQ(AddressToPort(record), 80);
}

TEST(FillAddressTest, IPv6LoopbackGivesAnIPv6Record)
{
    TSockAddress record{};
    ASSERT_EQ(FillAddress(record, "::1", "8080", AF_INET6, IPPROTO_TCP, SOCK_STREAM, true), 0);
    EXPECT_EQ(record.Generic.sa_family, AF_INET6);
    EXPECT_EQ(AddressLength(record), sizeof(sockaddr_in6));
    EXPECT_EQ(AddressToText(record), "::1");
    EXPECT_EQ(AddressToPort(record), 8080);
}

TEST(FillAddressTest, OpenFamilyFallsBackToIPv6WhenIPv4Fails)
{
    TSockAddress record{};
    ASSERT_EQ(FillAddress(record, "2001:db8::1", "81", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, true), 0);
    EXPECT_EQ(record.Generic.sa_family, AF_INET6);
    EXPECT_EQ(AddressToText(record), "2001:db8::1");
}

TEST(FillAddressTest, WildcardAddressIsThePassiveAddress)
{
    TSockAddress record{};
    ASSERT_EQ(FillAddress(record, "0.0.0.0", "0", AF_INET, IPPROTO_TCP, SOCK_STREAM, true), 0);
    EXPECT_EQ(AddressToText(record), "0.0.0.0");
}

TEST(FillAddressTest, NameThatDoesNotExistLeavesAZeroRecord)
{
    TSockAddress record{};
    record.Generic.sa_family = AF_INET;
    EXPECT_EQ(FillAddress(record, "no-such-host.invalid", "80", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, true),
              WSAHOST_NOT_FOUND);
    EXPECT_EQ(record.Generic.sa_family, 0);
    EXPECT_EQ(AddressLength(record), 0u);
    EXPECT_EQ(AddressToText(record), "");
    EXPECT_EQ(AddressToPort(record), 0);
}

TEST(ResolveNameListTest, NoAddressOfTheWantedFamilyGivesTheZeroAddress)
{
    std::vector<std::string> list{"old entry"};
    ResolveNameList("127.0.0.1", AF_INET6, IPPROTO_TCP, SOCK_STREAM, list);
    EXPECT_EQ(list, std::vector<std::string>{"0.0.0.0"});
    ResolveNameList("nothing.invalid", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, list);
    EXPECT_EQ(list, std::vector<std::string>{"0.0.0.0"});
}

TEST(ResolveNameListTest, LocalhostResolvesFromTheHostsFile)
{
    std::vector<std::string> list;
    ResolveNameList("localhost", AF_INET, IPPROTO_TCP, SOCK_STREAM, list);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), "127.0.0.1");
}

TEST(ResolveServicePortTest, ServiceNamesAndNumbers)
{
    EXPECT_EQ(ResolveServicePort("http", AF_INET, IPPROTO_TCP, SOCK_STREAM), 80);
    EXPECT_EQ(ResolveServicePort("8080", AF_INET, IPPROTO_TCP, SOCK_STREAM), 8080);
    EXPECT_EQ(ResolveServicePort("no-such-service", AF_INET, IPPROTO_TCP, SOCK_STREAM), 0);
}

TEST(ResolveAddressNameTest, LoopbackAddressHasAName)
{
    EXPECT_EQ(ResolveAddressName("127.0.0.1", AF_INET, IPPROTO_TCP, SOCK_STREAM), "localhost");
    EXPECT_EQ(ResolveAddressName("bad.invalid", AF_INET, IPPROTO_TCP, SOCK_STREAM), "bad.invalid");
}

TEST(HostNameTest, MachineHasAName)
{
    EXPECT_FALSE(HostNameText().empty());
}

TEST(SocketSetTest, SixtyFifthHandleIsNotAdded)
{
    TSocketSet set;
    for (int i = 0; i < 64; ++i) {
        set.Add(i + 100);
    }
    set.Add(999);
    EXPECT_EQ(set.Count, 64);
    EXPECT_EQ(set.Handles[63], 163);
}

TEST(SocketLibraryTest, LoadsAreCountedAndPaired)
{
    const int before = SocketLibraryLoadCount();
    EXPECT_GE(before, 1); // loaded at program start
    EXPECT_TRUE(LoadSocketLibrary());
    EXPECT_EQ(SocketLibraryLoadCount(), before + 1);
    EXPECT_TRUE(UnloadSocketLibrary());
    EXPECT_EQ(SocketLibraryLoadCount(), before);
}

TEST(SocketErrorTranslationTest, PlatformCodesBecomeTheSocketNumbers)
{
    EXPECT_EQ(SocketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(SocketErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorFromErrno(EPIPE), 10054);
    EXPECT_EQ(SocketErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(SocketErrorFromErrno(EINPROGRESS), 10036);
    EXPECT_EQ(SocketErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(SocketErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(SocketErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(SocketErrorFromErrno(EBADF), 10009);
    EXPECT_EQ(SocketErrorFromErrno(EIO), 11003);
}

TEST(SocketErrorTranslationTest, LookupResultsBecomeTheSocketNumbers)
{
    EXPECT_EQ(SocketErrorFromAddrInfo(EAI_NONAME, 0), 11001);
    EXPECT_EQ(SocketErrorFromAddrInfo(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(SocketErrorFromAddrInfo(EAI_FAIL, 0), 11003);
    EXPECT_EQ(SocketErrorFromAddrInfo(EAI_NODATA, 0), 11004);
    EXPECT_EQ(SocketErrorFromAddrInfo(EAI_SYSTEM, ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorFromAddrInfo(0, 0), 0);
}

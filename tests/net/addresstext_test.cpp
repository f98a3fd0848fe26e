#include "addresstext.h"

#include <gtest/gtest.h>

using namespace quorlane::net;

TEST(IPv4TextTest, AcceptsFourDecimalFieldsUpTo255)
{
    EXPECT_TRUE(IsIPv4Text("192.168.4.1"));
    EXPECT_TRUE(IsIPv4Text("010.0.0.1"));
    EXPECT_TRUE(IsIPv4Text(" 1 . 2 . 3 . 4 "));
    EXPECT_TRUE(IsIPv4Text("255.255.255.255"));
}

TEST(IPv4TextTest, RefusesOtherShapes)
{
    EXPECT_FALSE(IsIPv4Text("1.2.3"));
    EXPECT_FALSE(IsIPv4Text("1.2.3.4.5"));
    EXPECT_FALSE(IsIPv4Text("256.1.1.1"));
    EXPECT_FALSE(IsIPv4Text("1.2.3.a"));
    EXPECT_FALSE(IsIPv4Text("1..3.4"));
    EXPECT_FALSE(IsIPv4Text("99999999999999999999.1.1.1"));
    EXPECT_FALSE(IsIPv4Text("localhost"));
}

TEST(IPv6TextTest, AcceptsCompressedAndScopedAddresses)
{
    EXPECT_TRUE(IsIPv6Text("::"));
    EXPECT_TRUE(IsIPv6Text("::1"));
    EXPECT_TRUE(IsIPv6Text("fe80::1"));
    EXPECT_TRUE(IsIPv6Text("2001:db8::8:1"));
    EXPECT_TRUE(IsIPv6Text("fe80::1%12"));
    EXPECT_TRUE(IsIPv6Text("1:2:3:4:5:6:7:8"));
}

TEST(IPv6TextTest, RefusesOtherShapes)
{
    EXPECT_FALSE(IsIPv6Text("fe80::"));
    EXPECT_FALSE(IsIPv6Text("1.2.3.4"));
    EXPECT_FALSE(IsIPv6Text("example.com"));
    EXPECT_FALSE(IsIPv6Text("::ffff:1.2.3.4"));
    EXPECT_FALSE(IsIPv6Text("abc"));
    EXPECT_FALSE(IsIPv6Text("1::2::3"));
    EXPECT_FALSE(IsIPv6Text("1:2:3:4:5:6:7:8:9"));
    EXPECT_FALSE(IsIPv6Text("1::10000"));
    EXPECT_FALSE(IsIPv6Text("fe80::1%g"));
}

TEST(BytePackingTest, MostSignificantByteFirst)
{
    EXPECT_EQ(PackUInt16(0x1F90), std::string("\x1f\x90", 2));
    EXPECT_EQ(PackUInt32(0x01020304), std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(UnpackUInt16(std::string("\x00\x1f\x90", 3), 2), 0x1F90);
    EXPECT_EQ(UnpackUInt16("\x01", 1), 0);
    EXPECT_EQ(UnpackUInt16(std::string("\xff\xff", 2), 1), 0xFFFF);
}

TEST(AddressBytesTest, IPv4TextBecomesFourBytes)
{
    EXPECT_EQ(IPv4ToBytes("192.168.4.1"), std::string("\xc0\xa8\x04\x01", 4));
    EXPECT_EQ(IPv4ToBytes("1.x.3.4"), std::string("\x01\x00\x03\x04", 4));
}

TEST(AddressBytesTest, ExpandIPv6FillsTheMissingGroups)
{
    EXPECT_EQ(ExpandIPv6("::1"), "0:0:0:0:0:0:0:1");
    EXPECT_EQ(ExpandIPv6("1::2"), "1:0:0:0:0:0:0:2");
    EXPECT_EQ(ExpandIPv6("fe80::"), "fe80:0:0:0:0:0:0:0");
    EXPECT_EQ(ExpandIPv6("::"), "0:0:0:0:0:0:0:0");
    EXPECT_EQ(ExpandIPv6("1:2:3:4:5:6:7:8"), "1:2:3:4:5:6:7:8");
    EXPECT_EQ(ExpandIPv6("1:2:3:4:5:6:7:8:9"), "");
}

TEST(AddressBytesTest, ParseIPv6StoresGroupsMostSignificantFirst)
{
    const auto bytes = ParseIPv6("2001:db8::8:1");
    const std::array<std::uint8_t, 16> expected{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 1};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(ParseIPv6("1::zz"), (std::array<std::uint8_t, 16>{}));
}

TEST(AddressBytesTest, FormatIPv6ShortensTheLongestZeroRun)
{
    EXPECT_EQ(FormatIPv6(ParseIPv6("2001:db8::8:1")), "2001:db8::8:1");
    EXPECT_EQ(FormatIPv6(ParseIPv6("::1")), "::1");
    EXPECT_EQ(FormatIPv6(ParseIPv6("::")), "::");
    EXPECT_EQ(FormatIPv6(ParseIPv6("1:0:0:2:0:0:0:3")), "1:0:0:2::3");
    EXPECT_EQ(FormatIPv6(ParseIPv6("1:0:2:3:4:5:6:7")), "1:0:2:3:4:5:6:7");
    EXPECT_EQ(FormatIPv6(ParseIPv6("FE80::ABCD")), "fe80::abcd");
}

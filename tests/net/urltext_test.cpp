#include "urltext.h"

#include <gtest/gtest.h>

using namespace quorlane::net;

TEST(SplitUrlTest, HttpsUrlGetsPort443AndSplitsQuery)
{
    const TUrlParts parts = SplitUrl("https://h/a?b=1");
    EXPECT_EQ(parts.Scheme, "https");
    EXPECT_EQ(parts.Host, "h");
    EXPECT_EQ(parts.Port, "443");
    EXPECT_EQ(parts.Target, "/a?b=1");
    EXPECT_EQ(parts.Path, "/a");
    EXPECT_EQ(parts.Parameters, "b=1");
}

TEST(SplitUrlTest, HostAndPortWithoutScheme)
{
    const TUrlParts parts = SplitUrl("h:8080");
    EXPECT_EQ(parts.Scheme, "http");
    EXPECT_EQ(parts.Host, "h");
    EXPECT_EQ(parts.Port, "8080");
    EXPECT_EQ(parts.Target, "/");
    EXPECT_EQ(parts.Path, "/");
}

TEST(SplitUrlTest, BracketedIPv6HostWithPort)
{
    const TUrlParts parts = SplitUrl("http://[::1]:81/x");
    EXPECT_EQ(parts.Host, "::1");
    EXPECT_EQ(parts.Port, "81");
    EXPECT_EQ(parts.Target, "/x");
}

TEST(SplitUrlTest, UserAndPasswordBeforeTheHost)
{
    const TUrlParts parts = SplitUrl("http://u:p@h/");
    EXPECT_EQ(parts.User, "u");
    EXPECT_EQ(parts.Password, "p");
    EXPECT_EQ(parts.Host, "h");
    const TUrlParts userOnly = SplitUrl("ftp://anna@files");
    EXPECT_EQ(userOnly.User, "anna");
    EXPECT_EQ(userOnly.Password, "");
    EXPECT_EQ(userOnly.Port, "21");
}

TEST(SplitUrlTest, AtSignAfterTheFirstSlashStaysInTheTarget)
{
    const TUrlParts parts = SplitUrl("http://h/p@q");
    EXPECT_EQ(parts.User, "");
    EXPECT_EQ(parts.Host, "h");
    EXPECT_EQ(parts.Target, "/p@q");
}

TEST(SplitUrlTest, EmptyHostBecomesLocalhostAndFragmentStays)
{
    EXPECT_EQ(SplitUrl("http:///x").Host, "localhost");
    EXPECT_EQ(SplitUrl("http://h/a#frag").Target, "/a#frag");
    EXPECT_EQ(SplitUrl("HTTPS://h").Port, "443");
}

TEST(PercentEncodeTest, EncodesTheReservedSetInCapitals)
{
    EXPECT_EQ(PercentEncode("1.2"), "1.2");
    EXPECT_EQ(PercentEncode("a b_c"), "a%20b%5Fc");
    EXPECT_EQ(PercentEncode("ver/2"), "ver%2F2");
    EXPECT_EQ(PercentEncode("x~y"), "x%7Ey");
    EXPECT_EQ(PercentEncode("a-b.c!$'()*,"), "a-b.c!$'()*,");
    EXPECT_EQ(PercentEncode(std::string("\x00\x7f\xff", 3)), "%00%7F%FF");
    EXPECT_EQ(PercentEncode("\"%<>[\\]^`{|}#&+:;=?@"), "%22%25%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%23%26%2B%3A%3B%3D%3F%40");
}

TEST(PercentDecodeTest, DecodesHexInEitherCase)
{
    EXPECT_EQ(PercentDecode("a%41b"), "aAb");
    EXPECT_EQ(PercentDecode("%7e%7E"), "~~");
    EXPECT_EQ(PercentDecode("%00"), std::string(1, '\0'));
}

TEST(PercentDecodeTest, ShortOrInvalidEscapes)
{
    EXPECT_EQ(PercentDecode("a%4"), "a");
    EXPECT_EQ(PercentDecode("100%"), "100");
    EXPECT_EQ(PercentDecode("%zz"), "%zz");
    EXPECT_EQ(PercentDecode("%4g"), "%4g");
}

TEST(PercentDecodeTest, PercentBeforeALineBreakJoinsTheLines)
{
    EXPECT_EQ(PercentDecode("a%\r\nb"), "ab");
    EXPECT_EQ(PercentDecode("a%\n\rb"), "ab");
    EXPECT_EQ(PercentDecode("a%\rxb"), "axb");
}

TEST(Base64Test, EncodesWithPadding)
{
    EXPECT_EQ(Base64Encode("abc"), "YWJj");
    EXPECT_EQ(Base64Encode("ab"), "YWI=");
    EXPECT_EQ(Base64Encode("a"), "YQ==");
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("user:pa ss"), "dXNlcjpwYSBzcw==");
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

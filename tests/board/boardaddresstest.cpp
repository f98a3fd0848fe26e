#include "boardaddress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TAddressCase
{
    const char* Reported;
    const char* Host; // nullptr: refused
    int Port;
};

const TAddressCase AddressCases[] = {
    {"192.168.4.1", "192.168.4.1", 0},
    {"127.0.0.1:8080", "127.0.0.1", 8080},
    {"0.0.0.0:1", "0.0.0.0", 1},
    {"255.255.255.255:65535", "255.255.255.255", 65535},
    {"quorl-board.local", "quorl-board.local", 0},
    {"Board7:80", "Board7", 80},
    {"esp.3com", "esp.3com", 0},
    // A user part makes a browser open the host after it.
    {"192.168.4.1@example.net", nullptr, 0},
    {"127.0.0.1@127.0.0.2:8080", nullptr, 0},
    {"http://192.168.4.1", nullptr, 0},
    {"192.168.4.1/setup", nullptr, 0},
    {"192.168.4.1?x", nullptr, 0},
    {"192.168.4.1#x", nullptr, 0},
    {"ex%61mple.net", nullptr, 0},
    {"board name", nullptr, 0},
    {" 192.168.4.1", nullptr, 0},
    {"bücher.de", nullptr, 0},
    {"under_score", nullptr, 0},
    {"[::1]:80", nullptr, 0},
    {"::1", nullptr, 0},
    {"", nullptr, 0},
    {":80", nullptr, 0},
    {"a..b", nullptr, 0},
    {"board.", nullptr, 0},
    {"-board", nullptr, 0},
    {"board-", nullptr, 0},
    {"192.168.4.1:", nullptr, 0},
    {"192.168.4.1:0", nullptr, 0},
    {"192.168.4.1:65536", nullptr, 0},
    {"192.168.4.1:+80", nullptr, 0},
    {"192.168.4.1:80:81", nullptr, 0},
    {"192.168.4.1:8O", nullptr, 0},
    // Hosts that browsers read as an IPv4 address in another form than the one checked.
    {"256.1.1.1", nullptr, 0},
    {"1.2.3", nullptr, 0},
    {"127.1", nullptr, 0},
    {"2130706433", nullptr, 0},
    {"010.0.0.1", nullptr, 0},
    {"0x7f.0.0.1", nullptr, 0},
    {"board.0x1F", nullptr, 0},
    {"1.2.3.4.5", nullptr, 0},
};

TEST(BoardAddress, OnlyAnIpv4AddressOrAHostNameWithAnOptionalPortIsAccepted)
{
    for (const TAddressCase& test : AddressCases) {
        const auto address = ParseBoardAddress(test.Reported);
        if (test.Host == nullptr) {
            EXPECT_FALSE(address) << '"' << test.Reported << "\" taken as " << address->Host << ':' << address->Port;
            continue;
        }
        ASSERT_TRUE(address) << '"' << test.Reported << '"';
        EXPECT_EQ(address->Host, test.Host) << test.Reported;
        EXPECT_EQ(address->Port, test.Port) << test.Reported;
    }
    EXPECT_TRUE(ParseBoardAddress(std::string(63, 'a') + ".b"));
    EXPECT_FALSE(ParseBoardAddress(std::string(64, 'a') + ".b"));
    EXPECT_FALSE(ParseBoardAddress(std::string(252, 'a') + ".b"));
}

// Whatever the board sent reads as plain characters on one line of the panel.
TEST(BoardAddress, RefusalShowsTheValueAsPlainCharacters)
{
    EXPECT_EQ(RefusedAddressText("1.2.3.4@evil"), "The board reported an address that is not one: \"1.2.3.4@evil\"");
    EXPECT_EQ(RefusedAddressText(std::string("a\"b\\c\r\n\0\xE2\x80\xAE", 11)),
              "The board reported an address that is not one: \"a\\\"b\\\\c\\x0D\\x0A\\x00\\xE2\\x80\\xAE\"");
    const std::string cut = RefusedAddressText(std::string(1000, 'x'));
    EXPECT_LT(cut.size(), 100U);
    EXPECT_TRUE(cut.ends_with("xxx...\"")) << cut;
}

} // namespace

#pragma once

#include <optional>
#include <string>
#include <string_view>

// The board's address as its ACCESS message reports it ("ip"). The Setup page opens it and signs in there with the
// board password, so it is read strictly: an IPv4 address in dotted decimal or a host name (ASCII letters, digits,
// '-' and '.'), optionally followed by ':' and a port from 1 to 65535. Anything else is no address: a user part
// ("a@b"), a path, a scheme, an IPv6 address, and also a host that browsers read as an IPv4 address written in
// another form ("127.1", "0x7f.0.0.1", "010.0.0.1"), where the address opened would not be the one checked.
struct TBoardAddress
{
    std::string Host;
    // 0 when the address names no port.
    int Port = 0;
};

std::optional<TBoardAddress> ParseBoardAddress(std::string_view text);

// What the Access panel says when the reported "ip" is no address. The value is shown so that whatever the board
// sent reads as plain characters on one line: printable ASCII as it is, every other byte, the quote and the
// backslash escaped, and a long value cut.
std::string RefusedAddressText(std::string_view reported);

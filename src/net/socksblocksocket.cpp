#include "socksblocksocket.h"

#include "addresstext.h"

#include <algorithm>
#include <array>

namespace quorlane::net {

namespace {

// A length byte and up to 255 bytes of text, as SOCKS carries names and credentials.
std::string LengthPrefixed(const std::string& text)
{
    const std::string cut = text.substr(0, 255);
    return static_cast<char>(cut.size()) + cut;
}

std::string DottedAddress(const std::string& bytes)
{
    std::string text;
    for (const char b : bytes) {
        text += (text.empty() ? "" : ".") + std::to_string(static_cast<unsigned char>(b));
    }
    return text;
}

std::uint8_t Byte(const std::string& text, std::size_t index)
{
    return index < text.size() ? static_cast<std::uint8_t>(text[index]) : 0;
}

// The meaning of a reply code that is not a success (SOCKS 5: 1 to 8; SOCKS 4: 91 to 93).
std::string ReplyMeaning(int code)
{
    static const char* const meanings[] = {"general failure",
                                           "its rules do not allow the connection",
                                           "the network is unreachable",
                                           "the host is unreachable",
                                           "the destination refused the connection",
                                           "the time to live expired",
                                           "it does not support the command",
                                           "it does not support the address type"};
    static const char* const socks4Meanings[] = {"request rejected or failed", "it cannot reach the client's identd",
                                                 "the client's identd reported another user"};
    const char* meaning = code >= 1 && code <= 8     ? meanings[code - 1]
                          : code >= 91 && code <= 93 ? socks4Meanings[code - 91]
                                                     : "unknown reply";
    return "reply " + std::to_string(code) + ": " + meaning;
}

constexpr char Malformed[] = "its answer is not SOCKS";

} // namespace

bool TSocksBlockSocket::SendSocksGreeting()
{
    UsingSocks = false;
    SocksRefusal.clear();
    if (SocksType == ST_Socks4) {
        UsingSocks = true;
        return true;
    }
    SendText(SocksUsername.empty() ? std::string("\x05\x01\x00", 3) : std::string("\x05\x02\x02\x00", 4));
    if (ErrorNumber != 0) {
        return false;
    }
    const std::string choice = ReadExactText(2, SocksTimeout);
    if (ErrorNumber != 0) {
        return false;
    }
    if (Byte(choice, 0) != 0x05) {
        SocksRefusal = Malformed;
        return false;
    }
    if (Byte(choice, 1) == 0x02) {
        SendText('\x01' + LengthPrefixed(SocksUsername) + LengthPrefixed(SocksPassword));
        if (ErrorNumber != 0) {
            return false;
        }
        const std::string verdict = ReadExactText(2, SocksTimeout);
        if (ErrorNumber != 0) {
            return false;
        }
        if (Byte(verdict, 1) != 0x00) {
            SocksRefusal = "it did not accept the user name and password";
            return false;
        }
    } else if (Byte(choice, 1) != 0x00) {
        // The proxy accepts none of the offered methods.
        SocksRefusal = SocksUsername.empty() ? "it asks for a user name and password"
                                             : "it accepts none of the offered ways to log in";
        return false;
    }
    UsingSocks = true;
    return true;
}

bool TSocksBlockSocket::SendSocksRequest(std::uint8_t command, const std::string& host, const std::string& port)
{
    const auto portNumber = static_cast<std::uint16_t>(ServicePort(port));
    std::string target = host;
    if (!SocksResolver && !IsIPv4Text(target) && !IsIPv6Text(target)) {
        target = ResolveHost(target);
    }
    std::string request;
    if (SocksType == ST_Socks5) {
        request = std::string("\x05", 1) + static_cast<char>(command) + '\0';
        if (IsIPv4Text(target)) {
            request += '\x01' + IPv4ToBytes(target);
        } else if (IsIPv6Text(target)) {
            const auto bytes = ParseIPv6(target);
            request += '\x04' + std::string(bytes.begin(), bytes.end());
        } else {
            request += '\x03' + LengthPrefixed(target);
        }
        request += PackUInt16(portNumber);
    } else {
        request = std::string("\x04", 1) + static_cast<char>(command) + PackUInt16(portNumber);
        if (IsIPv4Text(target)) {
            request += IPv4ToBytes(target) + SocksUsername + '\0';
        } else {
            // The address 0.0.0.1 asks the proxy to resolve the name that follows the user id.
            request += std::string("\0\0\0\x01", 4) + SocksUsername + '\0' + target + '\0';
        }
    }
    SendText(request);
    return ErrorNumber == 0;
}

bool TSocksBlockSocket::ReadSocksReply()
{
    SocksReplyIP.clear();
    SocksReplyPort.clear();
    SocksReplyCode = -1;
    std::string address;
    std::string portBytes;
    int code = -1;
    if (SocksType == ST_Socks5) {
        const std::string head = ReadExactText(4, SocksTimeout);
        if (ErrorNumber != 0) {
            return false;
        }
        if (Byte(head, 0) != 0x05) {
            SocksRefusal = Malformed;
            return false;
        }
        switch (Byte(head, 3)) {
        case 0x01:
            address = DottedAddress(ReadExactText(4, SocksTimeout));
            break;
        case 0x03: {
            const std::string length = ReadExactText(1, SocksTimeout);
            if (ErrorNumber == 0) {
                address = ReadExactText(Byte(length, 0), SocksTimeout);
            }
            break;
        }
        case 0x04: {
            const std::string bytes = ReadExactText(16, SocksTimeout);
            std::array<std::uint8_t, 16> groups{};
            std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 16), groups.begin());
            address = FormatIPv6(groups);
            break;
        }
        default:
            SocksRefusal = Malformed;
            return false;
        }
        if (ErrorNumber != 0) {
            return false;
        }
        portBytes = ReadExactText(2, SocksTimeout);
        if (ErrorNumber != 0) {
            return false;
        }
        code = Byte(head, 1);
    } else {
        const std::string reply = ReadExactText(8, SocksTimeout);
        if (ErrorNumber != 0) {
            return false;
        }
        if (Byte(reply, 0) != 0x00) {
            SocksRefusal = Malformed;
            return false;
        }
        code = Byte(reply, 1);
        portBytes = reply.substr(2, 2);
        address = DottedAddress(reply.substr(4, 4));
    }
    SocksReplyCode = code;
    SocksReplyIP = address;
    SocksReplyPort = std::to_string(UnpackUInt16(portBytes, 1));
    if (code != 0 && code != 90) {
        SocksRefusal = ReplyMeaning(code);
        return false;
    }
    return true;
}

} // namespace quorlane::net

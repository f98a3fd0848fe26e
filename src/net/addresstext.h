#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorlane::net {

bool IsIPv4Text(std::string_view text);
bool IsIPv6Text(std::string_view text);
// "host:port", an IPv6 address in brackets.
std::string HostPortText(std::string_view host, std::string_view port);

// Byte packing and address conversions for the SOCKS exchange. Multi-byte values are most significant first.
std::string PackUInt16(std::uint16_t value);
std::string PackUInt32(std::uint32_t value);
// Byte p (1-based) times 256 plus byte p + 1; 0 when the text is too short.
std::uint16_t UnpackUInt16(std::string_view text, int p);

std::string IPv4ToBytes(std::string_view text);
std::string ExpandIPv6(std::string_view text);
std::array<std::uint8_t, 16> ParseIPv6(std::string_view text);
std::string FormatIPv6(const std::array<std::uint8_t, 16>& bytes);

} // namespace quorlane::net

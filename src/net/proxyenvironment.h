#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorlane::net {

class THTTPSend;

enum TProxyScheme : std::uint8_t {
    psHttp,    // HTTP proxy: CONNECT for https addresses, absolute targets for http ones
    psSocks4,  // SOCKS 4, the name resolved here
    psSocks4a, // SOCKS 4a, the proxy resolves the name
    psSocks5,  // SOCKS 5, the name resolved here
    psSocks5h, // SOCKS 5, the proxy resolves the name
};

// One proxy as a proxy variable names it.
struct TProxy
{
    TProxyScheme Scheme = psHttp;
    std::string Host; // an IPv6 address without its brackets
    std::string Port; // 1080 unless the variable names one
    std::string User; // decoded from the URL's percent-encoding
    std::string Password;
    std::string Variable; // the variable it came from, e.g. "https_proxy"

    // "host:port", an IPv6 address in brackets.
    std::string Address() const;
};

// The proxy a request goes through, none for a direct one, or why the environment cannot say.
struct TProxyChoice
{
    std::optional<TProxy> Proxy;
    // A malformed proxy variable, named with its value (the password masked); the request must not be made.
    std::string Error;

    // "via proxy proxy.example:3128" or "direct", for the window to show (when Error is empty).
    std::string Description() const;
};

// The value of an environment variable; nullopt when it is not set.
using TEnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The proxy for a request to url, as curl chooses it: no_proxy (or NO_PROXY) first, then https_proxy (HTTPS_PROXY)
// for https addresses or http_proxy (HTTP_PROXY) for http ones, then all_proxy (ALL_PROXY). The lower-case variable
// wins when both are set; an empty variable counts as unset. Loopback addresses and localhost go through the proxy
// like any other host unless no_proxy names them.
TProxyChoice ProxyForUrl(std::string_view url, const TEnvironmentLookup& environment);
// The same from the process environment.
TProxyChoice ProxyForUrl(std::string_view url);

// Reads a proxy URL: [scheme://][user[:password]@]host[:port][/], scheme one of http, socks4, socks4a, socks5,
// socks5h (none: http), user and password percent-encoded, an IPv6 host in brackets. A malformed value gives the
// choice's Error naming the variable.
TProxyChoice ParseProxy(const std::string& variable, const std::string& value);

// True when the no_proxy list exempts host: entries separated by commas, each "*" (every host), a host name or
// domain (with or without a leading dot: "example.com" also covers "www.example.com"), an IP address or a CIDR block
// (IPv4 or IPv6). Names are compared without regard to case; an address matches only an address, nothing is looked up.
bool NoProxyMatches(std::string_view noProxy, std::string_view host);

// A proxy variable's value or an address with the password between "user:" and "@" replaced by "****", fit to show
// in an error or a log.
std::string MaskedPassword(std::string value);

// Sets the client up for the choice: an HTTP proxy through ProxyHost/ProxyPort/ProxyUser/ProxyPass, a SOCKS proxy
// through the socket's SOCKS settings (TLS with the server then runs end to end through the tunnel); a direct choice
// clears both.
void ApplyProxy(THTTPSend& http, const TProxyChoice& choice);

} // namespace quorlane::net

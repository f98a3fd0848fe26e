#include "proxyenvironment.h"

#include "addresstext.h"
#include "httpsend.h"
#include "urltext.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <utility>

namespace quorlane::net {

namespace {

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view()
                                           : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// True when every '%' starts an escape of two hex digits.
bool PercentEncoded(std::string_view text)
{
    for (std::size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i + 1)) {
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            return false;
        }
    }
    return true;
}

bool IsHostName(std::string_view text)
{
    return !text.empty() && std::ranges::all_of(text, [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_';
    });
}

// An IP address as bytes with its family; nullopt for anything else. An IPv6 address may stand in brackets.
struct TAddress
{
    int Family = 0;
    std::array<unsigned char, 16> Bytes{};
    int Bits() const { return Family == AF_INET ? 32 : 128; }
};

std::optional<TAddress> ParseAddress(std::string_view text)
{
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    const std::string zeroEnded(text);
    TAddress address;
    for (const int family : {AF_INET, AF_INET6}) {
        if (inet_pton(family, zeroEnded.c_str(), address.Bytes.data()) == 1) {
            address.Family = family;
            return address;
        }
    }
    return std::nullopt;
}

bool SamePrefix(const TAddress& a, const TAddress& b, int bits)
{
    for (int bit = 0; bit < bits; ++bit) {
        const int mask = 0x80 >> (bit % 8);
        if ((a.Bytes[static_cast<std::size_t>(bit / 8)] & mask) !=
            (b.Bytes[static_cast<std::size_t>(bit / 8)] & mask)) {
            return false;
        }
    }
    return true;
}

// An address entry of no_proxy ("10.0.0.1", "::1", "10.0.0.0/8", "fd00::/8") against the host's address.
bool AddressEntryMatches(std::string_view entry, const TAddress& host)
{
    const std::size_t slash = entry.find('/');
    const std::optional<TAddress> network = ParseAddress(entry.substr(0, slash));
    if (!network || network->Family != host.Family) {
        return false;
    }
    int bits = host.Bits();
    if (slash != std::string_view::npos) {
        const std::string_view text = entry.substr(slash + 1);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bits);
        if (error != std::errc() || end != text.data() + text.size() || bits < 0 || bits > host.Bits()) {
            return false;
        }
    }
    return SamePrefix(*network, host, bits);
}

// A name entry of no_proxy: the name itself or a domain that contains it, a leading dot or not.
bool NameEntryMatches(std::string_view entry, std::string_view host)
{
    while (entry.starts_with('.')) {
        entry.remove_prefix(1);
    }
    while (entry.ends_with('.')) {
        entry.remove_suffix(1);
    }
    return !entry.empty() && (host == entry || (host.size() > entry.size() && host.ends_with(entry) &&
                                                host[host.size() - entry.size() - 1] == '.'));
}

constexpr std::pair<std::string_view, TProxyScheme> ProxySchemes[] = {
    {"http", psHttp}, {"socks4", psSocks4}, {"socks4a", psSocks4a}, {"socks5", psSocks5}, {"socks5h", psSocks5h}};

} // namespace

std::string MaskedPassword(std::string value)
{
    const std::size_t separator = value.find("://");
    const std::size_t start = separator == std::string::npos ? 0 : separator + 3;
    const std::size_t at = value.rfind('@');
    const std::size_t colon = value.find(':', start);
    if (at != std::string::npos && at > start && colon < at) {
        value.replace(colon + 1, at - colon - 1, "****");
    }
    return value;
}

std::string TProxy::Address() const
{
    return HostPortText(Host, Port);
}

std::string TProxyChoice::Description() const
{
    return Proxy ? "via proxy " + Proxy->Address() : "direct";
}

TProxyChoice ParseProxy(const std::string& variable, const std::string& value)
{
    const auto refuse = [&](const std::string& reason) {
        return TProxyChoice{std::nullopt, variable + " is \"" + MaskedPassword(value) + "\": " + reason};
    };
    TProxy proxy;
    proxy.Variable = variable;
    proxy.Port = "1080";
    std::string_view rest = TrimBlanks(value);
    if (const std::size_t separator = rest.find("://"); separator != std::string_view::npos) {
        const std::string scheme = Lower(rest.substr(0, separator));
        const auto known = std::ranges::find(ProxySchemes, std::string_view(scheme),
                                             &std::pair<std::string_view, TProxyScheme>::first);
        if (known == std::end(ProxySchemes)) {
            return refuse("the scheme is not one of http, socks4, socks4a, socks5 and socks5h");
        }
        proxy.Scheme = known->second;
        rest.remove_prefix(separator + 3);
    }
    if (rest.ends_with('/')) {
        rest.remove_suffix(1);
    }
    if (rest.find_first_of("/?#") != std::string_view::npos) {
        return refuse("it holds more than a host and a port");
    }
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        const std::size_t colon = credentials.find(':');
        const std::string_view user = credentials.substr(0, colon);
        const std::string_view password = colon == std::string_view::npos ? "" : credentials.substr(colon + 1);
        if (!PercentEncoded(user) || !PercentEncoded(password)) {
            return refuse("its user name or password holds a '%' that starts no percent escape");
        }
        proxy.User = PercentDecode(user);
        proxy.Password = PercentDecode(password);
        rest.remove_prefix(at + 1);
    }
    std::string_view port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || !IsIPv6Text(rest.substr(1, close - 1))) {
            return refuse("its host is not a host name or an address");
        }
        proxy.Host = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return refuse("its host is not a host name or an address");
        }
        port = rest.empty() ? "" : rest.substr(1);
    } else {
        const std::size_t colon = rest.find(':');
        proxy.Host = rest.substr(0, colon);
        port = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
        if (proxy.Host.empty()) {
            return refuse("it names no host");
        }
        if (!IsHostName(proxy.Host)) {
            return refuse("its host is not a host name or an address");
        }
    }
    if (!port.empty() || rest.ends_with(':')) {
        int number = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535) {
            return refuse("its port is not a number from 1 to 65535");
        }
        proxy.Port = std::to_string(number);
    }
    return TProxyChoice{proxy, {}};
}

bool NoProxyMatches(std::string_view noProxy, std::string_view host)
{
    std::string name = Lower(host);
    while (name.ends_with('.')) {
        name.pop_back();
    }
    // An address is matched by address entries only, a name by name entries only.
    const std::optional<TAddress> address = ParseAddress(name);
    while (!noProxy.empty()) {
        const std::size_t comma = noProxy.find(',');
        const std::string entry = Lower(TrimBlanks(noProxy.substr(0, comma)));
        noProxy.remove_prefix(comma == std::string_view::npos ? noProxy.size() : comma + 1);
        if (entry == "*" || (address ? AddressEntryMatches(entry, *address) : NameEntryMatches(entry, name))) {
            return true;
        }
    }
    return false;
}

TProxyChoice ProxyForUrl(std::string_view url, const TEnvironmentLookup& environment)
{
    // The first of the two that is set and not empty, with its name.
    const auto read = [&environment](const std::string& lower,
                                     const std::string& upper) -> std::optional<std::pair<std::string, std::string>> {
        for (const std::string& name : {lower, upper}) {
            if (const std::optional<std::string> value = environment(name); value && !value->empty()) {
                return std::pair{name, *value};
            }
        }
        return std::nullopt;
    };
    const TUrlParts parts = SplitUrl(url);
    if (const auto noProxy = read("no_proxy", "NO_PROXY"); noProxy && NoProxyMatches(noProxy->second, parts.Host)) {
        return {};
    }
    const std::string scheme = Lower(parts.Scheme);
    std::optional<std::pair<std::string, std::string>> setting;
    if (scheme == "https" || scheme == "http") {
        setting = read(scheme + "_proxy", scheme == "https" ? "HTTPS_PROXY" : "HTTP_PROXY");
    }
    if (!setting) {
        setting = read("all_proxy", "ALL_PROXY");
    }
    return setting ? ParseProxy(setting->first, setting->second) : TProxyChoice{};
}

TProxyChoice ProxyForUrl(std::string_view url)
{
    return ProxyForUrl(url, [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    });
}

void ApplyProxy(THTTPSend& http, const TProxyChoice& choice)
{
    http.ProxyHost.clear();
    http.ProxyUser.clear();
    http.ProxyPass.clear();
    http.Sock.SocksIP.clear();
    http.Sock.SocksUsername.clear();
    http.Sock.SocksPassword.clear();
    if (!choice.Proxy) {
        return;
    }
    const TProxy& proxy = *choice.Proxy;
    if (proxy.Scheme == psHttp) {
        http.ProxyHost = proxy.Host;
        http.ProxyPort = proxy.Port;
        http.ProxyUser = proxy.User;
        http.ProxyPass = proxy.Password;
        return;
    }
    http.Sock.SocksIP = proxy.Host;
    http.Sock.SocksPort = proxy.Port;
    http.Sock.SocksUsername = proxy.User;
    http.Sock.SocksPassword = proxy.Password;
    http.Sock.SocksType = proxy.Scheme == psSocks4 || proxy.Scheme == psSocks4a ? ST_Socks4 : ST_Socks5;
    http.Sock.SocksResolver = proxy.Scheme == psSocks4a || proxy.Scheme == psSocks5h;
}

} // namespace quorlane::net

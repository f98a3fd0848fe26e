#include "sslnone.h"

namespace quorlane::net {

std::unique_ptr<TCustomSSL> TSSLNone::Create(TTCPBlockSocket& owner)
{
    return std::make_unique<TSSLNone>(owner);
}

std::string TSSLNone::LibraryVersionText()
{
    return "Without SSL support";
}

std::string TSSLNone::LibraryNameText()
{
    return "ssl_none";
}

} // namespace quorlane::net

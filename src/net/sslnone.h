#pragma once

#include "customssl.h"

namespace quorlane::net {

// The plug-in for builds or processes without a TLS library.
class TSSLNone : public TCustomSSL
{
public:
    using TCustomSSL::TCustomSSL;
    static std::unique_ptr<TCustomSSL> Create(TTCPBlockSocket& owner);

    std::string LibraryVersionText() override;
    std::string LibraryNameText() override;
};

} // namespace quorlane::net

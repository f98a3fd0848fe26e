#pragma once

#include <cstdint>
#include <string>

namespace quorlane::net {

// What every network client of this family carries: where the next connection goes, the local address to bind,
// the limit of each wait for received data, and the credentials used when a URL carries none.
class TNetClient
{
public:
    virtual ~TNetClient() = default;

    std::string TargetHost = "127.0.0.1";
    std::string TargetPort = "0";
    std::string IPInterface = "0.0.0.0";
    std::int32_t Timeout = 5000;
    std::string UserName;
    std::string Password;
};

} // namespace quorlane::net

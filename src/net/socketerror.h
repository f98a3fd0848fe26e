#pragma once

#include <stdexcept>
#include <string>

namespace quorlane::net {

// Raised by a socket with RaiseExcept set, for every error other than 0, 10035 and 10036.
class ESocketError : public std::runtime_error
{
public:
    ESocketError(const std::string& message, int errorCode, const std::string& errorMessage)
        : std::runtime_error(message), ErrorCode(errorCode), ErrorMessage(errorMessage)
    {
    }

    int ErrorCode;
    std::string ErrorMessage;
};

} // namespace quorlane::net

#pragma once

#include <stdexcept>

namespace quorlane::json {

// An item is of another kind than the operation expects: a typed getter on the wrong kind, or a name asked of an
// object item that is not a member record.
class EInvalidCast : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A variant cannot be turned into the requested type (null into text or a number, a word into a number, an
// infinite number into an integer). The value being set stays unchanged.
class EVariantConversion : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised inside the parser for a number out of the extended type's range or an invalid \u escape;
// ParseJSONText turns it into "no tree".
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace quorlane::json

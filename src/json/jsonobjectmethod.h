#pragma once

#include "jsonbase.h"

namespace quorlane::json {

// One member of an object: its name and the value it owns (none until one is set).
class TJSONobjectmethod : public TJSONbase
{
public:
    std::unique_ptr<TJSONbase> MemberValue;
    std::u16string MemberName;

    ~TJSONobjectmethod() override;

protected:
    std::unique_ptr<TJSONbase> TakeLastChild() override;
};

} // namespace quorlane::json

#pragma once

#include "jsonboolean.h"
#include "jsonerrors.h"
#include "jsonlist.h"
#include "jsonnull.h"
#include "jsonnumber.h"
#include "jsonobject.h"
#include "jsonobjectmethod.h"
#include "jsonstring.h"

#include <string_view>

namespace quorlane::json {

class TJSON
{
public:
    // Arrays and objects nested deeper than this make the parse give none instead of exhausting the stack.
    static constexpr int MaxNesting = 512;

    // Reads one JSON value from the start of the text (after an optional UTF-8 byte-order mark) and ignores what
    // follows it. Lenient: commas are optional, one trailing comma is accepted, literals need no delimiter. Never
    // throws; any failure gives none.
    static std::unique_ptr<TJSONbase> ParseJSONText(std::string_view text);

    // Writes the tree as compact JSON text; none gives empty text. Works without recursion, so any depth is fine.
    static std::string GenerateJSONText(const TJSONbase* value);
};

} // namespace quorlane::json

#include "settingsline.h"

#include "json.h"

using namespace quorlane::json;

std::string BuildSettingsLine(const std::array<std::string, AccessFieldCount>& values)
{
    TJSONobject object;
    for (int field = 0; field < AccessFieldCount; ++field) {
        const std::string_view member = AccessFieldMember(static_cast<TAccessField>(field));
        object.AddString(std::u16string(member.begin(), member.end()), values[static_cast<std::size_t>(field)]);
    }
    return TJSON::GenerateJSONText(&object) + '\n';
}

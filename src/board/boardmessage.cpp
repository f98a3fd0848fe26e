#include "boardmessage.h"

#include "json.h"

#include <array>
#include <unordered_set>

using namespace quorlane::json;

namespace {

constexpr std::array<const char*, AccessFieldCount> FieldMembers = {
    "ssid", "pass", "board_name", "board_pass", "init_ssid", "init_pass", "net_ip", "net_gate", "net_mask"};

std::u16string MemberName(std::string_view name)
{
    return {name.begin(), name.end()};
}

// A member that the message needs, as text; a member of another kind shows as the text of its value and null as
// empty text. A missing member gives nothing, which ends the handling.
std::optional<std::string> MemberText(const TJSONobject& object, std::string_view name)
{
    const TJSONbase* value = object.Member(MemberName(name));
    if (value == nullptr) {
        return std::nullopt;
    }
    return value->Value().AsText();
}

void DecodeInit(const TJSONobject& object, TBoardMessage& message)
{
    for (const char* member : FieldMembers) {
        auto text = MemberText(object, member);
        if (!text) {
            return;
        }
        message.Fields.push_back(std::move(*text));
    }
    // A missing "scan" still empties the network list (there is nothing to add); one that is not an array leaves
    // the list as it was.
    const TJSONbase* scan = object.Member(u"scan");
    if (scan != nullptr && scan->Kind() != jsList) {
        return;
    }
    message.Scan.emplace();
    std::unordered_set<std::string> seen;
    for (int index = 0; scan != nullptr && index < scan->ItemCount(); ++index) {
        if (message.Scan->size() == MaxScanNetworks) {
            return;
        }
        try {
            std::string network = scan->Item(index)->Value().AsTextStrict();
            if (seen.insert(network).second) {
                message.Scan->push_back(std::move(network));
            }
        } catch (const EVariantConversion&) {
            return;
        }
    }
}

void DecodeAccess(const TJSONobject& object, TBoardMessage& message)
{
    for (const char* member : {"ip", "gate", "mask"}) {
        auto text = MemberText(object, member);
        if (!text) {
            return;
        }
        message.Address.push_back(std::move(*text));
    }
}

} // namespace

const char* AccessFieldMember(TAccessField field)
{
    return FieldMembers[static_cast<std::size_t>(field)];
}

TBoardMessage DecodeBoardMessage(const std::string& text)
{
    TBoardMessage message;
    const std::unique_ptr<TJSONbase> tree = TJSON::ParseJSONText(text);
    const auto* object = dynamic_cast<const TJSONobject*>(tree.get());
    if (object == nullptr) {
        return message;
    }
    const std::optional<std::string> operate = MemberText(*object, "operate");
    if (operate == "INIT") {
        message.Kind = TBoardMessage::Init;
        DecodeInit(*object, message);
    } else if (operate == "ACCESS") {
        message.Kind = TBoardMessage::Access;
        DecodeAccess(*object, message);
    } else if (operate == "REBOOT") {
        message.Kind = TBoardMessage::Reboot;
    }
    return message;
}

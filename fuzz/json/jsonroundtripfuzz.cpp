// Parses arbitrary bytes; when a tree results, generates it, parses the text again and requires the same tree:
// kinds, strings, booleans, nulls, member names and their order, numbers to 15 significant digits. Every object
// member must also be found by its name at the first member of that name. Any difference aborts.
#include "json.h"
#include "numberformat.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace quorlane::json;

namespace {

[[noreturn]] void Mismatch(const char* what, const std::string& generated)
{
    std::fprintf(stderr, "round trip mismatch: %s\ngenerated text: %s\n", what, generated.c_str());
    std::abort();
}

// Numbers travel as 15 significant digits, so they are compared in that form.
std::string Rounded(const TJSONbase* value)
{
    return FormatGeneralNumber(static_cast<const TJSONnumber*>(value)->Number, ".");
}

void CheckNameLookups(const TJSONobject& object, const std::string& generated)
{
    for (int index = 0; index < object.ItemCount(); ++index) {
        const std::u16string name = object.NameAt(index);
        int first = 0;
        while (object.NameAt(first) != name) {
            ++first;
        }
        if (object.IndexOfName(name) != first) {
            Mismatch("a member name is not found at its first member", generated);
        }
    }
}

void CompareTrees(const TJSONbase* original, const TJSONbase* reparsed, const std::string& generated)
{
    std::vector<std::pair<const TJSONbase*, const TJSONbase*>> pending{{original, reparsed}};
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        if (left->Kind() != right->Kind()) {
            Mismatch("kinds differ", generated);
        }
        switch (left->Kind()) {
        case jsNumber:
            if (Rounded(left) != Rounded(right)) {
                Mismatch("numbers differ", generated);
            }
            break;
        case jsString:
        case jsBoolean:
        case jsNull:
            if (!(left->Value() == right->Value())) {
                Mismatch("scalar values differ", generated);
            }
            break;
        case jsObject:
            CheckNameLookups(*static_cast<const TJSONobject*>(left), generated);
            [[fallthrough]];
        case jsList:
            if (left->ItemCount() != right->ItemCount()) {
                Mismatch("item counts differ", generated);
            }
            for (int index = 0; index < left->ItemCount(); ++index) {
                const TJSONbase* leftItem = left->Item(index);
                const TJSONbase* rightItem = right->Item(index);
                if (left->Kind() == jsObject) {
                    const auto* leftMember = static_cast<const TJSONobjectmethod*>(leftItem);
                    const auto* rightMember = static_cast<const TJSONobjectmethod*>(rightItem);
                    if (leftMember->MemberName != rightMember->MemberName) {
                        Mismatch("member names differ", generated);
                    }
                    leftItem = leftMember->MemberValue.get();
                    rightItem = rightMember->MemberValue.get();
                }
                pending.emplace_back(leftItem, rightItem);
            }
            break;
        case jsBase:
            Mismatch("the parser gave a plain base value", generated);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto tree = TJSON::ParseJSONText(text);
    if (!tree) {
        return 0;
    }
    const std::string generated = TJSON::GenerateJSONText(tree.get());
    const auto reparsed = TJSON::ParseJSONText(generated);
    if (!reparsed) {
        Mismatch("the generated text does not parse", generated);
    }
    CompareTrees(tree.get(), reparsed.get(), generated);
    if (TJSON::GenerateJSONText(reparsed.get()) != generated) {
        Mismatch("generating the reparsed tree gives other text", generated);
    }
    return 0;
}

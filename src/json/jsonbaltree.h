#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::json {

// Maps member names to item indexes: an Andersson tree (a balanced search tree whose nodes carry levels), ordered
// by the names' UTF-16 code units. A repeated name keeps its first index. Nodes live in one vector and refer to
// each other by position; position 0 is the sentinel (level 0, both children itself) that stands for "no node" and
// is shared by all trees, so an empty tree allocates nothing.
class TJSONBalTree
{
public:
    struct TJSONBalNode
    {
        std::int32_t Left = 0;
        std::int32_t Right = 0;
        std::uint8_t Level = 0;
        std::int32_t Index = -1;
        std::u16string Name;
    };

    // The index stored for the name, or -1.
    int Find(std::u16string_view name) const;
    // Adds the name with its index; false when the name is already there (the first index stays).
    bool Insert(std::u16string_view name, int index);
    // Makes room for count names, so that adding them allocates once.
    void Reserve(int count);
    void Clear();

private:
    static constexpr std::int32_t Sentinel = 0;

    // Any node, the sentinel included, for reading.
    const TJSONBalNode& At(std::int32_t node) const;
    // A node other than the sentinel, for changing it.
    TJSONBalNode& Real(std::int32_t node);
    std::int32_t InsertBelow(std::int32_t node, std::u16string_view name, int index, bool& added);
    std::int32_t Skew(std::int32_t node);
    std::int32_t Split(std::int32_t node);

    std::vector<TJSONBalNode> Nodes;
    std::int32_t Root = Sentinel;
};

} // namespace quorlane::json

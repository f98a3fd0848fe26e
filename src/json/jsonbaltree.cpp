#include "jsonbaltree.h"

namespace quorlane::json {

namespace {

// The bottom of every path: level 0, both children itself, holding no name.
const TJSONBalTree::TJSONBalNode SentinelNode{};

} // namespace

const TJSONBalTree::TJSONBalNode& TJSONBalTree::At(std::int32_t node) const
{
    return node == Sentinel ? SentinelNode : Nodes[static_cast<std::size_t>(node - 1)];
}

TJSONBalTree::TJSONBalNode& TJSONBalTree::Real(std::int32_t node)
{
    return Nodes[static_cast<std::size_t>(node - 1)];
}

int TJSONBalTree::Find(std::u16string_view name) const
{
    std::int32_t node = Root;
    while (node != Sentinel) {
        const TJSONBalNode& current = At(node);
        const int order = name.compare(current.Name);
        if (order == 0) {
            return current.Index;
        }
        node = order < 0 ? current.Left : current.Right;
    }
    return -1;
}

bool TJSONBalTree::Insert(std::u16string_view name, int index)
{
    bool added = false;
    Root = InsertBelow(Root, name, index, added);
    return added;
}

void TJSONBalTree::Reserve(int count)
{
    Nodes.reserve(static_cast<std::size_t>(count));
}

void TJSONBalTree::Clear()
{
    Nodes.clear();
    Root = Sentinel;
}

// Inserts below the subtree rooted at node and gives the subtree's new root. Positions, not references, are
// carried through the recursion because adding a node may move the vector.
std::int32_t TJSONBalTree::InsertBelow(std::int32_t node, std::u16string_view name, int index, bool& added)
{
    if (node == Sentinel) {
        Nodes.push_back(TJSONBalNode{Sentinel, Sentinel, 1, index, std::u16string(name)});
        added = true;
        return static_cast<std::int32_t>(Nodes.size());
    }
    const int order = name.compare(At(node).Name);
    if (order < 0) {
        const std::int32_t left = InsertBelow(At(node).Left, name, index, added);
        Real(node).Left = left;
    } else if (order > 0) {
        const std::int32_t right = InsertBelow(At(node).Right, name, index, added);
        Real(node).Right = right;
    } else {
        return node;
    }
    return Split(Skew(node));
}

// A left child on the same level as its parent takes the parent's place.
std::int32_t TJSONBalTree::Skew(std::int32_t node)
{
    const std::int32_t left = At(node).Left;
    if (At(left).Level != At(node).Level) {
        return node;
    }
    Real(node).Left = At(left).Right;
    Real(left).Right = node;
    return left;
}

// Two right children on the parent's level: the middle one rises a level and takes the parent's place.
std::int32_t TJSONBalTree::Split(std::int32_t node)
{
    const std::int32_t right = At(node).Right;
    if (At(At(right).Right).Level != At(node).Level) {
        return node;
    }
    Real(node).Right = At(right).Left;
    Real(right).Left = node;
    ++Real(right).Level;
    return right;
}

} // namespace quorlane::json

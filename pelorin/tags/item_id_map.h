// The item-id map of one snapshot: item id -> the item's node, filled by the walk. A later item
// with an id already present takes over that entry; the entry keeps the place where the id first
// appeared. Entries come back in the order of the walk, so the same server gives the same order
// every time (what a run stopped by the tag limit has handled depends on it).
//
// The map holds no node: the snapshot's tree owns them, and the map's keys are views of the
// nodes' item ids. Use and drop it while the tree lives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pelorin {

class BrowseNode;

class ItemIdMap {
public:
    ItemIdMap() = default;
    ItemIdMap(const ItemIdMap&) = delete;
    ItemIdMap& operator=(const ItemIdMap&) = delete;

    // Enters node->ItemId() -> node.
    void Enter(BrowseNode* node);

    size_t Size() const { return order_.size(); }
    bool Empty() const { return order_.empty(); }
    // The node entered last for this id, or null.
    BrowseNode* Find(std::string_view itemId) const;
    // Entries in walk order; each node's ItemId() is its key.
    const std::vector<BrowseNode*>& InWalkOrder() const { return order_; }

private:
    std::unordered_map<std::string_view, size_t> index_;
    std::vector<BrowseNode*> order_;
};

} // namespace pelorin

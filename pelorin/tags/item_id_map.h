// The item-id map of one snapshot: item id -> the item's node, filled by the walk. A later item
// with an id already present takes over that entry; the entry keeps the place where the id first
// appeared. Entries come back in the order of the walk, so the same server gives the same order
// every time (what a run stopped by the tag limit has handled depends on it).
//
// The map holds no node: the snapshot's tree owns them, and the map finds an entry's id in its
// node. Use and drop it while the tree lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
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
    // Open addressing over the entries: a slot holds an entry's index + 1, 0 when free. The
    // table is a power of two and at most half full, so every probe ends at a free slot.
    size_t SlotOf(std::string_view itemId) const;
    void Grow();

    std::vector<uint32_t> slots_;
    std::vector<BrowseNode*> order_;
};

} // namespace pelorin

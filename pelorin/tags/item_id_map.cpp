#include "tags/item_id_map.h"

#include "tags/browse_node.h"

namespace pelorin {

void ItemIdMap::Enter(BrowseNode* node) {
    // Room first, so that running out of memory cannot leave an index without its entry.
    if (order_.size() == order_.capacity())
        order_.reserve(order_.capacity() * 2 + 16);
    // The key views the id inside the node that first had it. That node stays in its leaf list
    // as long as the tree lives, so the view stays valid when a later node takes the entry.
    const auto inserted = index_.emplace(std::string_view(node->ItemId()), order_.size());
    if (inserted.second)
        order_.push_back(node);
    else
        order_[inserted.first->second] = node;
}

BrowseNode* ItemIdMap::Find(std::string_view itemId) const {
    const auto found = index_.find(itemId);
    return found == index_.end() ? nullptr : order_[found->second];
}

} // namespace pelorin

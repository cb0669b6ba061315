#include "tags/item_id_map.h"

#include <functional>
#include <new>

#include "tags/browse_node.h"

namespace pelorin {

size_t ItemIdMap::SlotOf(std::string_view itemId) const {
    const size_t mask = slots_.size() - 1;
    size_t slot = std::hash<std::string_view>()(itemId) & mask;
    while (slots_[slot] != 0 && order_[slots_[slot] - 1]->ItemId() != itemId)
        slot = (slot + 1) & mask;
    return slot;
}

void ItemIdMap::Grow() {
    std::vector<uint32_t> larger(slots_.empty() ? 64 : slots_.size() * 2, 0);
    slots_.swap(larger);
    for (size_t entry = 0; entry < order_.size(); ++entry)
        slots_[SlotOf(order_[entry]->ItemId())] = static_cast<uint32_t>(entry + 1);
}

void ItemIdMap::Enter(BrowseNode* node) {
    // Room first, so that running out of memory leaves the map as it was.
    if ((order_.size() + 1) * 2 > slots_.size())
        Grow();
    if (order_.size() == order_.capacity())
        order_.reserve(order_.capacity() * 2 + 16);
    if (order_.size() >= UINT32_MAX)
        throw std::bad_alloc();
    const size_t slot = SlotOf(node->ItemId());
    if (slots_[slot] != 0) {
        order_[slots_[slot] - 1] = node; // same id, later item
        return;
    }
    order_.push_back(node);
    slots_[slot] = static_cast<uint32_t>(order_.size());
}

BrowseNode* ItemIdMap::Find(std::string_view itemId) const {
    if (slots_.empty())
        return nullptr;
    const size_t slot = SlotOf(itemId);
    return slots_[slot] != 0 ? order_[slots_[slot] - 1] : nullptr;
}

} // namespace pelorin

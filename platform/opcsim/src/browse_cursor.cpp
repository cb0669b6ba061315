#include "browse_cursor.h"

#include "filter.h"

#include <opcerror.h>

namespace opcsim {

BrowseCursor::BrowseCursor(std::shared_ptr<const AddressSpace> space, const ServerConfig& config)
    : space_(std::move(space)), config_(config), node_(space_->Root()) {}

HRESULT BrowseCursor::Move(int direction, const std::wstring& target) {
    if (config_.flat)
        return E_FAIL; // a flat space has no positions
    switch (direction) {
    case 1: // up
        if (virtualDepth_ > 0) {
            --virtualDepth_;
            return S_OK;
        }
        if (node_ == space_->Root())
            return E_FAIL;
        node_ = space_->At(node_).parent;
        return S_OK;
    case 2: { // down
        if (target.empty())
            return E_INVALIDARG;
        if (config_.faults.refuseDown.count(target))
            return E_INVALIDARG;
        const NodeIndex child = virtualDepth_ > 0 ? kNoNode : space_->FindEnterable(node_, target);
        if (child != kNoNode) {
            HRESULT forced = S_OK;
            if (space_->At(child).Forces(L"ChangeBrowsePosition", forced) && FAILED(forced))
                return forced;
            node_ = child;
            return forced;
        }
        if (config_.faults.bottomless) {
            ++virtualDepth_;
            return S_OK;
        }
        return E_INVALIDARG;
    }
    case 3: { // to a fully qualified branch id; "" is the root
        if (target.empty()) {
            node_ = space_->Root();
            virtualDepth_ = 0;
            return S_OK;
        }
        const NodeIndex branch = space_->FindBranchById(target);
        if (branch == kNoNode)
            return E_INVALIDARG;
        node_ = branch;
        virtualDepth_ = 0;
        return S_OK;
    }
    default:
        return E_INVALIDARG;
    }
}

bool BrowseCursor::Accepts(const Node& item, VARTYPE dataType, DWORD rights) const {
    if (dataType != VT_EMPTY && item.type != dataType)
        return false;
    return (item.rights & rights) == rights;
}

HRESULT BrowseCursor::List(int type, const std::wstring& filter, VARTYPE dataType, DWORD rights,
                           std::vector<std::wstring>& names) const {
    names.clear();
    const Node& here = space_->At(node_);
    static const wchar_t* const kTyped[] = {nullptr, L"BrowseOPCItemIDs:branches",
                                            L"BrowseOPCItemIDs:leaves", L"BrowseOPCItemIDs:flat"};
    HRESULT forced = S_OK;
    const bool forces = (type >= 1 && type <= 3 && here.Forces(kTyped[type], forced)) ||
                        here.Forces(L"BrowseOPCItemIDs", forced);
    if (forces && FAILED(forced))
        return forced;
    switch (type) {
    case 1: // branches
        if (config_.flat)
            break;
        for (NodeIndex index : here.branches)
            if (MatchFilter(space_->At(index).name, filter))
                names.push_back(space_->At(index).name);
        break;
    case 2: // leaves
        for (NodeIndex index : here.leaves) {
            const Node& item = space_->At(index);
            if (Accepts(item, dataType, rights) && MatchFilter(item.name, filter))
                names.push_back(item.name);
        }
        break;
    case 3: // flat: every item at and below the position
        CollectFlat(node_, filter, dataType, rights, names);
        break;
    default:
        return E_INVALIDARG;
    }
    if (forces)
        return forced; // a success code: the names are listed all the same
    return names.empty() ? S_FALSE : S_OK;
}

void BrowseCursor::CollectFlat(NodeIndex from, const std::wstring& filter, VARTYPE dataType,
                               DWORD rights, std::vector<std::wstring>& names) const {
    // In a flat space the browse names are what the client shows; in a hierarchical one only the
    // fully qualified ids tell the items apart.
    std::vector<NodeIndex> pending{from};
    while (!pending.empty()) {
        const Node& node = space_->At(pending.back());
        pending.pop_back();
        for (NodeIndex index : node.leaves) {
            const Node& item = space_->At(index);
            const std::wstring& text = config_.flat ? item.name : item.itemId;
            if (Accepts(item, dataType, rights) && MatchFilter(text, filter))
                names.push_back(text);
        }
        for (auto it = node.branches.rbegin(); it != node.branches.rend(); ++it)
            pending.push_back(*it);
        for (auto it = node.leaves.rbegin(); it != node.leaves.rend(); ++it)
            if (!space_->At(*it).branches.empty() || !space_->At(*it).leaves.empty())
                pending.push_back(*it);
    }
}

HRESULT BrowseCursor::ItemId(const std::wstring& name, std::wstring& itemId) const {
    if (config_.faults.getItemIdFails.count(name))
        return E_FAIL;
    const Node& here = space_->At(node_);
    if (name.empty()) {
        itemId = node_ == space_->Root() ? std::wstring() : here.itemId;
        return S_OK;
    }
    NodeIndex found = space_->FindLeaf(node_, name);
    if (found == kNoNode)
        found = space_->FindEnterable(node_, name);
    if (found != kNoNode) {
        HRESULT forced = S_OK;
        if (space_->At(found).Forces(L"GetItemID", forced) && FAILED(forced))
            return forced;
        itemId = space_->At(found).itemId;
        return forced;
    }
    // Names from a flat listing are ids already.
    if (space_->FindItemById(name) != kNoNode) {
        itemId = name;
        return S_OK;
    }
    return OPC_E_UNKNOWNITEMID;
}

} // namespace opcsim

// One client's browse position in an address space and the browse operations of the standard
// (ChangeBrowsePosition, BrowseOPCItemIDs, GetItemID), without COM.
#pragma once

#include "address_space.h"
#include "config.h"

#include <memory>
#include <string>
#include <vector>

namespace opcsim {

class BrowseCursor {
public:
    BrowseCursor(std::shared_ptr<const AddressSpace> space, const ServerConfig& config);

    // direction: 1 up, 2 down, 3 to (OPCBROWSEDIRECTION).
    HRESULT Move(int direction, const std::wstring& target);
    // type: 1 branches, 2 leaves, 3 flat (OPCBROWSETYPE). Names in the server's order.
    HRESULT List(int type, const std::wstring& filter, VARTYPE dataType, DWORD rights,
                 std::vector<std::wstring>& names) const;
    HRESULT ItemId(const std::wstring& name, std::wstring& itemId) const;

    NodeIndex Position() const { return node_; }
    unsigned VirtualDepth() const { return virtualDepth_; }

private:
    void CollectFlat(NodeIndex from, const std::wstring& filter, VARTYPE dataType, DWORD rights,
                     std::vector<std::wstring>& names) const;
    bool Accepts(const Node& item, VARTYPE dataType, DWORD rights) const;

    std::shared_ptr<const AddressSpace> space_;
    const ServerConfig& config_;
    NodeIndex node_;
    // Depth below node_ reached in a bottomless address space, where every move down succeeds
    // and each level looks like the one it was entered from.
    unsigned virtualDepth_ = 0;
};

} // namespace opcsim

// The address space of one simulated server: branches and items with browse names and item ids,
// built once from the server's JSON description and shared read-only by every server object.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace opcsim {

using NodeIndex = uint32_t;
constexpr NodeIndex kNoNode = 0xFFFFFFFFu;

struct Node {
    std::wstring name;   // browse name
    std::wstring itemId; // fully qualified id (items and branches)
    NodeIndex parent = kNoNode;
    bool isItem = false;             // listed as a leaf of its parent
    VARTYPE type = VT_R8;            // canonical data type of an item
    DWORD rights = 3;                // OPC_READABLE | OPC_WRITEABLE
    std::vector<NodeIndex> branches; // children listed as branches, in order
    std::vector<NodeIndex> leaves;   // children listed as leaves, in order
    // Children that can be entered with a move down, by browse name. Plain items have none and
    // cannot be entered; an item with children of its own can.
    std::unique_ptr<std::unordered_map<std::wstring, NodeIndex>> enterable;
    // Leaves by browse name, for GetItemID.
    std::unique_ptr<std::unordered_map<std::wstring, NodeIndex>> leafByName;
    // Results this one node forces ("ChangeBrowsePosition" into it, "BrowseOPCItemIDs[:type]"
    // at it, "GetItemID" of it); most nodes have none.
    std::unique_ptr<std::map<std::wstring, HRESULT>> results;

    // Whether the node forces a result for the method, and which.
    bool Forces(const wchar_t* method, HRESULT& result) const;
};

class AddressSpace {
public:
    AddressSpace();

    NodeIndex Root() const { return 0; }
    const Node& At(NodeIndex index) const { return nodes_[index]; }
    size_t NodeCount() const { return nodes_.size(); }
    size_t ItemCount() const { return itemCount_; }

    // Adds a child; the item id is the given one or, when empty, the parent's id, the separator
    // and the name (just the name below the root).
    NodeIndex AddBranch(NodeIndex parent, const std::wstring& name, const std::wstring& itemId);
    NodeIndex AddItem(NodeIndex parent, const std::wstring& name, const std::wstring& itemId,
                      VARTYPE type, DWORD rights);

    void SetSeparator(const std::wstring& separator) { separator_ = separator; }
    void SetResults(NodeIndex index, const std::map<std::wstring, HRESULT>& results);

    NodeIndex FindEnterable(NodeIndex parent, const std::wstring& name) const;
    NodeIndex FindLeaf(NodeIndex parent, const std::wstring& name) const;
    NodeIndex FindBranchById(const std::wstring& itemId) const;
    NodeIndex FindItemById(const std::wstring& itemId) const;

private:
    NodeIndex Add(NodeIndex parent, const std::wstring& name, const std::wstring& itemId);
    void MakeEnterable(NodeIndex index);

    std::vector<Node> nodes_;
    std::wstring separator_ = L".";
    size_t itemCount_ = 0;
    std::unordered_map<std::wstring, NodeIndex> branchById_;
    std::unordered_map<std::wstring, NodeIndex> itemById_;
};

} // namespace opcsim

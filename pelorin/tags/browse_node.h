// The snapshot of one branch of a server's hierarchical address space: a tree of BrowseNodes,
// one per branch and one per item, each item with its fully qualified item id, and beside the
// tree an item-id map from id to item node. Bulk tag creation and the point tables read it.
//
// Constructing a node walks its branch below the server's current browse position and leaves the
// position where it found it. A walk moves down into every branch it lists (each sub-branch with
// its own walk) and tries to move down into every item: a name the server will not enter is a
// plain item; one it does enter and that has items of its own is a nested item, kept aside.
//
// Bounds a server cannot push past: a walk enters at most kMaxSnapshotDepth levels below the
// branch it starts from, makes at most kMaxSnapshotNames nodes and keeps at most
// kMaxSnapshotChars characters of names and item ids. Without them a server that lets the client
// move down into every name (an address space without a bottom, or a branch that lists itself)
// would recurse until the stack runs out, one with several names on each such level would never
// finish, and one whose names are huge would take all the process's memory long before. A walk
// stopped by a bound keeps what it had and still moves up once for every move down.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "opcda.h"
#include "tags/item_id_map.h"

namespace pelorin {

// The member of the item link dialog that holds the server's browse interface (null when the
// server has none). A snapshot reads the pointer through it at every call and never adds or
// releases a reference of its own.
using BrowseInterface = Microsoft::WRL::ComPtr<IOPCBrowseServerAddressSpace>;

// Names asked of the server per IEnumString::Next.
constexpr ULONG kBrowseBatch = 100;
// Levels below the starting branch that a walk enters; far deeper than any real plant.
constexpr int kMaxSnapshotDepth = 64;
// Nodes one walk makes, counting every name it handles; well above any real top-level branch.
constexpr size_t kMaxSnapshotNames = 1000000;
// Characters of names and item ids one walk keeps: room for kMaxSnapshotNames names of 30.
constexpr size_t kMaxSnapshotChars = 32u * 1024u * 1024u;

class BrowseNode {
public:
    using List = std::vector<std::unique_ptr<BrowseNode>>;

    // Walks the branch `name` (ANSI) below the server's current position. `depth` is 0 for the
    // top node of a snapshot; the module-wide depth limit decides what each level takes.
    BrowseNode(ItemIdMap& map, const BrowseInterface& browse, const std::string& name, int depth);
    // Deletes the leaf list, then the branch list, then the nested-item list, each with its
    // subtrees.
    ~BrowseNode();
    BrowseNode(const BrowseNode&) = delete;
    BrowseNode& operator=(const BrowseNode&) = delete;

    const std::string& Name() const { return name_; }
    // The fully qualified item id: set for the nodes of a leaf list, empty otherwise.
    const std::string& ItemId() const { return itemId_; }
    int Depth() const { return depth_; }
    // Sub-branches, items and nested items, each in the order the server listed them.
    const List& Branches() const { return branches_; }
    const List& Leaves() const { return leaves_; }
    const List& NestedItems() const { return nested_; }

    // What every walk asks for: all branches, every item, any type, any access rights.
    static constexpr const wchar_t* kBranchFilter = L"*";
    static constexpr const wchar_t* kItemFilter = L"";
    static constexpr VARTYPE kDataTypeFilter = VT_EMPTY;
    static constexpr DWORD kAccessRightsFilter = 0;

private:
    struct Walk;

    BrowseNode(Walk& walk, std::string name, int depth);
    void Explore(Walk& walk);
    bool TakeBranches(Walk& walk);
    void TakeItems(Walk& walk);

    List branches_;
    List leaves_;
    List nested_;
    std::string name_;
    std::string itemId_;
    int depth_;
    const BrowseInterface* browse_;
};

} // namespace pelorin

// The browse panel of the item link dialog: the server's branches in a tree filled branch by
// branch as the engineer opens them, the leaves of the selected branch in a list beside it, or,
// for a flat address space, one list of every item in place of both. The panel turns the
// engineer's choice into the item id the server gives for it.
//
// The server's browse position is at its root between two handlers; a handler that needs
// another position walks down to it and back up before it returns.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "itemlink/address_space_browser.h"
#include "itemlink/browse_controls.h"

namespace pelorin {

class BrowsePanel {
public:
    // The controls, bound by the dialog's data exchange.
    TreeView& Tree() { return tree_; }
    ListBox& Leaves() { return leaves_; }
    ListBox& FlatList() { return flat_; }

    AddressSpaceBrowser& Browser() { return browser_; }
    // The tree's "Root" item: the server's root position, where every walk starts.
    HTREEITEM RootItem() const { return root_; }
    bool Hierarchical() const { return namespaceType_ == OPC_NS_HIERARCHIAL; }
    // The texts of the "Root" item's children in tree order, in the ANSI code page: the server's
    // top-level branches. Empty for a flat address space or one that cannot be browsed.
    std::vector<std::string> TopLevelBranches() const;

    // Before the browse setup: no data-type filter, hierarchical until the server says.
    void ResetBrowseState();
    // Fills the tree or the flat list. False when the server cannot be browsed (no browse
    // interface, or it cannot tell its organisation); the browser is then unavailable.
    bool Setup(const std::wstring& filter);

    // A branch is opened: its sub-branches are browsed once per dialog run.
    void Expand(HTREEITEM item);
    // The leaves of the selected branch that match the filter.
    void RefreshLeaves(const std::wstring& filter);
    // Every item of a flat address space that matches the filter.
    void RefreshFlat(const std::wstring& filter);
    // The id of the selected leaf or flat entry: the server's id for it, or the name as listed
    // when the server gives none; empty when nothing is selected. False, with `itemId`
    // untouched, when the server cannot be browsed.
    bool ChooseLeaf(std::string& itemId);
    bool ChooseFlat(std::string& itemId);

private:
    void AddBranches(HTREEITEM parent, const std::vector<std::wstring>& names);
    void ShowFlat();

    TreeView tree_;
    ListBox leaves_;
    ListBox flat_;
    AddressSpaceBrowser browser_;
    HTREEITEM root_ = nullptr;
    HTREEITEM listedBranch_ = nullptr; // the branch whose leaves the leaf list shows
    VARTYPE dataTypeFilter_ = VT_EMPTY;
    OPCNAMESPACETYPE namespaceType_ = OPC_NS_HIERARCHIAL;
};

} // namespace pelorin

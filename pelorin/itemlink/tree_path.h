// Which branches the server's browse position must enter to stand at a tree item of the browse
// panel. The tree's own root item ("Root") stands for the server's root; every item below it is
// a branch the server listed, whatever its text (a server may well name a branch "Root").
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace pelorin {

// What the path needs of a tree: each item's parent (null above the top) and text.
class TreeLinks {
public:
    virtual HTREEITEM Parent(HTREEITEM item) const = 0;
    virtual std::wstring Text(HTREEITEM item) const = 0;

protected:
    ~TreeLinks() = default;
};

// The branch names from just below `root` down to `item`, top first; empty for the root item
// itself or a null item.
std::vector<std::wstring> PathBelowRoot(const TreeLinks& tree, HTREEITEM root, HTREEITEM item);

} // namespace pelorin

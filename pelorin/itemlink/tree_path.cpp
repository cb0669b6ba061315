#include "itemlink/tree_path.h"

#include <algorithm>

namespace pelorin {

std::vector<std::wstring> PathBelowRoot(const TreeLinks& tree, HTREEITEM root, HTREEITEM item) {
    std::vector<std::wstring> path;
    for (HTREEITEM at = item; at && at != root; at = tree.Parent(at))
        path.push_back(tree.Text(at));
    std::reverse(path.begin(), path.end());
    return path;
}

} // namespace pelorin

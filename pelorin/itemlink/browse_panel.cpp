#include "itemlink/browse_panel.h"

#include "fw/app.h"
#include "session/ansi_text.h"

namespace pelorin {
namespace {

const wchar_t kRootText[] = L"Root";
const wchar_t kDummyText[] = L"Dummy"; // gives an unbrowsed branch its expand button
const wchar_t kNotBrowsable[] = L"Browsing not supported";
const wchar_t kAllBranches[] = L"*";

// Item data of a tree item: whether its sub-branches have been browsed.
constexpr LPARAM kUnbrowsed = 0;
constexpr LPARAM kBrowsed = 1;

} // namespace

void BrowsePanel::ResetBrowseState() {
    dataTypeFilter_ = VT_EMPTY;
    namespaceType_ = OPC_NS_HIERARCHIAL;
}

bool BrowsePanel::Setup(const std::wstring& filter) {
    if (!browser_.Available()) {
        ShowFlat();
        flat_.Add(kNotBrowsable);
        return false;
    }
    OPCNAMESPACETYPE type = OPC_NS_HIERARCHIAL;
    if (FAILED(browser_.QueryOrganization(type))) {
        browser_.Reset();
        return false;
    }
    namespaceType_ = type;
    if (!Hierarchical()) {
        ShowFlat();
        RefreshFlat(filter);
        return true;
    }
    root_ = tree_.InsertItem(TVI_ROOT, kRootText, kBrowsed);
    std::vector<std::wstring> names;
    browser_.Browse(OPC_BRANCH, kAllBranches, dataTypeFilter_, names);
    AddBranches(root_, names);
    tree_.Select(root_); // the tree tells the dialog, which lists the root's leaves
    tree_.Expand(root_);
    return true;
}

std::vector<std::string> BrowsePanel::TopLevelBranches() const {
    std::vector<std::string> branches;
    if (!root_)
        return branches; // a null parent would give the tree's own top level
    for (HTREEITEM child : tree_.Children(root_))
        branches.push_back(WideToAnsi(tree_.Text(child).c_str()));
    return branches;
}

void BrowsePanel::ShowFlat() {
    tree_.Show(false);
    leaves_.Show(false);
    flat_.Show(true);
}

void BrowsePanel::AddBranches(HTREEITEM parent, const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
        const HTREEITEM branch = tree_.InsertItem(parent, name, kUnbrowsed);
        if (branch)
            tree_.InsertItem(branch, kDummyText, kUnbrowsed);
    }
}

void BrowsePanel::Expand(HTREEITEM item) {
    if (!browser_.Available() || !item || tree_.GetItemData(item) != kUnbrowsed)
        return;
    fw::WaitCursor wait;
    tree_.SetItemData(item, kBrowsed);
    tree_.DeleteChildren(item);
    BrowseWalk walk(browser_, PathBelowRoot(tree_, root_, item));
    if (!walk.Succeeded())
        return;
    std::vector<std::wstring> names;
    browser_.Browse(OPC_BRANCH, kAllBranches, VT_EMPTY, names);
    AddBranches(item, names);
}

void BrowsePanel::RefreshLeaves(const std::wstring& filter) {
    if (!browser_.Available())
        return;
    fw::WaitCursor wait;
    {
        const HTREEITEM selected = tree_.Selected();
        BrowseWalk walk(browser_, PathBelowRoot(tree_, root_, selected));
        if (walk.Succeeded()) {
            // A walk that failed leaves the list as it was: better the last branch's leaves
            // than another position's.
            std::vector<std::wstring> names;
            if (browser_.Browse(OPC_LEAF, filter, dataTypeFilter_, names) != S_OK)
                names.clear();
            leaves_.Fill(names);
            listedBranch_ = selected;
        }
    }
    leaves_.FitHorizontalExtent();
}

void BrowsePanel::RefreshFlat(const std::wstring& filter) {
    if (!browser_.Available())
        return;
    fw::WaitCursor wait;
    std::vector<std::wstring> names;
    if (FAILED(browser_.Browse(OPC_FLAT, filter, dataTypeFilter_, names)))
        names.clear();
    flat_.Fill(names);
    flat_.Select(0); // shown as chosen; the item id follows only the engineer's own pick
}

bool BrowsePanel::ChooseLeaf(std::string& itemId) {
    if (!browser_.Available())
        return false;
    fw::WaitCursor wait;
    // The leaves listed are those of the branch they were listed for, which is not the tree's
    // selection when the server refused to enter that: the server is asked there, or nowhere,
    // since at another position a name may stand for another item.
    BrowseWalk walk(browser_, PathBelowRoot(tree_, root_, listedBranch_));
    itemId.clear();
    const int selected = leaves_.Selection();
    if (selected < 0)
        return true;
    const std::wstring name = leaves_.Text(selected);
    itemId = WideToAnsi(name.c_str());
    std::wstring id;
    if (walk.Succeeded() && SUCCEEDED(browser_.GetItemId(name, id)))
        itemId = WideToAnsi(id.c_str());
    return true;
}

bool BrowsePanel::ChooseFlat(std::string& itemId) {
    if (!browser_.Available())
        return false;
    fw::WaitCursor wait;
    itemId.clear();
    const int selected = flat_.Selection();
    if (selected < 0)
        return true;
    const std::wstring name = flat_.Text(selected);
    itemId = WideToAnsi(name.c_str());
    std::wstring id;
    if (SUCCEEDED(browser_.GetItemId(name, id))) {
        itemId = WideToAnsi(id.c_str());
        flat_.Select(selected);
    }
    return true;
}

} // namespace pelorin

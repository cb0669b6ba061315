#include "control_driver.h"

#include "fw/string.h"

namespace host {
namespace {

std::string Listing(const std::vector<std::wstring>& texts) {
    constexpr size_t kShown = 20;
    std::string text;
    for (size_t i = 0; i < texts.size() && i < kShown; ++i)
        text += (i ? ", \"" : "\"") + fw::WideToUtf8(texts[i]) + "\"";
    if (texts.size() > kShown)
        text += ", ... (" + std::to_string(texts.size()) + " in all)";
    return text.empty() ? "none" : text;
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t buffer[1024] = {};
    TVITEMW data = {};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = buffer;
    data.cchTextMax = static_cast<int>(sizeof buffer / sizeof buffer[0]);
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return buffer;
}

HTREEITEM FirstChild(HWND tree, HTREEITEM parent) {
    return parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree);
}

} // namespace

void PostClick(HWND control, POINT at, WPARAM keys) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON | keys, where);
    PostMessageW(control, WM_LBUTTONUP, keys, where);
}

void PostDoubleClick(HWND control, POINT at) {
    // The first press and release, then the second press that the system reports as a
    // double-click, and its release.
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(control, WM_LBUTTONUP, 0, where);
    PostMessageW(control, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
    PostMessageW(control, WM_LBUTTONUP, 0, where);
}

bool ListEntryPoint(HWND list, const std::wstring& entry, int& index, POINT& at, std::string& why) {
    std::vector<std::wstring> entries;
    index = -1;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(wcslen(text.c_str()));
        if (text == entry && index < 0)
            index = i;
        entries.push_back(text);
    }
    if (index < 0) {
        why = "no entry \"" + fw::WideToUtf8(entry) + "\" (entries: " + Listing(entries) + ")";
        return false;
    }
    RECT client = {}, row = {};
    GetClientRect(list, &client);
    SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&row));
    if (row.top < client.top || row.bottom > client.bottom) {
        SendMessageW(list, LB_SETTOPINDEX, index, 0);
        SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&row));
    }
    at = {(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    return true;
}

std::vector<std::wstring> TreeChildren(HWND tree, HTREEITEM parent) {
    std::vector<std::wstring> texts;
    for (HTREEITEM child = FirstChild(tree, parent); child;
         child = TreeView_GetNextSibling(tree, child))
        texts.push_back(ItemText(tree, child));
    return texts;
}

std::string TreePathText(const std::vector<std::wstring>& path, size_t count) {
    std::string text;
    for (size_t i = 0; i < count && i < path.size(); ++i)
        text += (i ? "/" : "") + fw::WideToUtf8(path[i]);
    return text;
}

bool FindTreeItem(HWND tree, const std::vector<std::wstring>& path, HTREEITEM& item,
                  std::string& why) {
    item = nullptr;
    for (size_t depth = 0; depth < path.size(); ++depth) {
        HTREEITEM found = nullptr;
        for (HTREEITEM child = FirstChild(tree, item); child && !found;
             child = TreeView_GetNextSibling(tree, child))
            if (ItemText(tree, child) == path[depth])
                found = child;
        if (!found) {
            why = "no item \"" + fw::WideToUtf8(path[depth]) + "\" " +
                  (depth ? "under \"" + TreePathText(path, depth) + "\"" : "at the top level") +
                  " (there: " + Listing(TreeChildren(tree, item)) + ")";
            return false;
        }
        item = found;
    }
    return true;
}

bool TreeItemExpanded(HWND tree, HTREEITEM item) {
    return (TreeView_GetItemState(tree, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

bool TreeButtonPoint(HWND tree, HTREEITEM item, POINT& at) {
    // The tree draws a button only for an item with children (or that says it has some); its
    // hit test answers "button" left of any item.
    TVITEMW data = {};
    data.mask = TVIF_CHILDREN | TVIF_HANDLE;
    data.hItem = item;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    if (!TreeView_GetChild(tree, item) && data.cChildren == 0)
        return false;
    TreeView_EnsureVisible(tree, item);
    RECT text = {};
    if (!TreeView_GetItemRect(tree, item, &text, TRUE))
        return false;
    // The button lies left of the text, where the tree's own hit test says so; its middle is
    // where a person clicks.
    const LONG y = (text.top + text.bottom) / 2;
    LONG first = -1, last = -1;
    for (LONG x = text.left - 1; x >= 0; --x) {
        TVHITTESTINFO hit = {};
        hit.pt = {x, y};
        TreeView_HitTest(tree, &hit);
        const bool onButton = hit.hItem == item && (hit.flags & TVHT_ONITEMBUTTON);
        if (onButton) {
            last = last < 0 ? x : last;
            first = x;
        } else if (last >= 0) {
            break;
        }
    }
    if (last < 0)
        return false;
    at = {(first + last) / 2, y};
    return true;
}

bool TreeTextPoint(HWND tree, HTREEITEM item, POINT& at) {
    TreeView_EnsureVisible(tree, item);
    RECT text = {};
    if (!TreeView_GetItemRect(tree, item, &text, TRUE))
        return false;
    at = {(text.left + text.right) / 2, (text.top + text.bottom) / 2};
    return true;
}

} // namespace host

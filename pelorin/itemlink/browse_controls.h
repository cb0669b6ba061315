// Thin wrappers over the browse panel's tree view and list boxes, bound to the dialog's
// controls by data exchange. Texts are UTF-16, as the server hands its names out.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "itemlink/tree_path.h"

namespace pelorin {

class TreeView : public TreeLinks {
public:
    void Attach(HWND window) { window_ = window; }
    HWND Handle() const { return window_; }

    // Appends an item under `parent` (TVI_ROOT: the top level) with `data`.
    HTREEITEM InsertItem(HTREEITEM parent, const std::wstring& text, LPARAM data);
    void DeleteChildren(HTREEITEM item);
    LPARAM GetItemData(HTREEITEM item) const;
    void SetItemData(HTREEITEM item, LPARAM data);
    HTREEITEM Selected() const;
    // The item's children, in tree order.
    std::vector<HTREEITEM> Children(HTREEITEM item) const;
    void Select(HTREEITEM item);
    void Expand(HTREEITEM item);
    void Show(bool visible) { ShowWindow(window_, visible ? SW_SHOW : SW_HIDE); }

    HTREEITEM Parent(HTREEITEM item) const override;
    std::wstring Text(HTREEITEM item) const override;

private:
    HWND window_ = nullptr;
};

class ListBox {
public:
    void Attach(HWND window) { window_ = window; }
    HWND Handle() const { return window_; }

    void Clear();
    void Add(const std::wstring& text);
    // Replaces the entries by `texts`, drawn once at the end rather than after each entry.
    void Fill(const std::vector<std::wstring>& texts);
    int Count() const;
    int Selection() const; // LB_ERR: none
    void Select(int index);
    std::wstring Text(int index) const;
    // Lets the list scroll sideways as far as its widest entry reaches.
    void FitHorizontalExtent();
    void Show(bool visible);

private:
    HWND window_ = nullptr;
};

} // namespace pelorin

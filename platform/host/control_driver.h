// Where a person's mouse would go on a list box entry or a tree item, and what a tree holds.
// These run on the thread that owns the control (the robot calls them through the UI thread)
// and only read the control, scrolling it as a person would; the robot then clicks.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace host {

// The entry's index and the middle of its row, scrolled into view; false with a reason (the
// entries are listed) when the list box has no entry with exactly that text.
bool ListEntryPoint(HWND list, const std::wstring& entry, int& index, POINT& at, std::string& why);

// The texts of the children of `parent` (null: the top-level items), in order.
std::vector<std::wstring> TreeChildren(HWND tree, HTREEITEM parent);

// The item whose path from the top level is `path` (texts compared exactly); false with a reason
// naming the part that is missing and what is there instead.
bool FindTreeItem(HWND tree, const std::vector<std::wstring>& path, HTREEITEM& item,
                  std::string& why);

bool TreeItemExpanded(HWND tree, HTREEITEM item);

// A point on the item's expand/collapse button (scrolled into view); false when it shows none.
bool TreeButtonPoint(HWND tree, HTREEITEM item, POINT& at);

// The middle of the item's text (scrolled into view).
bool TreeTextPoint(HWND tree, HTREEITEM item, POINT& at);

// The messages a person's mouse sends for a click and for a double-click at `at` (client
// coordinates), posted to the control. `keys` are the MK_CONTROL and MK_SHIFT of keys held
// meanwhile, which the system reports in every mouse message of the click.
void PostClick(HWND control, POINT at, WPARAM keys = 0);
void PostDoubleClick(HWND control, POINT at);

// "Root/Channel1" for messages.
std::string TreePathText(const std::vector<std::wstring>& path, size_t count);

} // namespace host

#include "itemlink/browse_controls.h"

#include <algorithm>
#include <cwchar>

namespace pelorin {

HTREEITEM TreeView::InsertItem(HTREEITEM parent, const std::wstring& text, LPARAM data) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<LPWSTR>(text.c_str());
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(window_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void TreeView::DeleteChildren(HTREEITEM item) {
    HTREEITEM child = reinterpret_cast<HTREEITEM>(
        SendMessageW(window_, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
    while (child) {
        const HTREEITEM next = reinterpret_cast<HTREEITEM>(
            SendMessageW(window_, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
        SendMessageW(window_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child));
        child = next;
    }
}

LPARAM TreeView::GetItemData(HTREEITEM item) const {
    TVITEMW data = {};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    if (!SendMessageW(window_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data)))
        return 0;
    return data.lParam;
}

void TreeView::SetItemData(HTREEITEM item, LPARAM value) {
    TVITEMW data = {};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    data.lParam = value;
    SendMessageW(window_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data));
}

HTREEITEM TreeView::Selected() const {
    return reinterpret_cast<HTREEITEM>(SendMessageW(window_, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

std::vector<HTREEITEM> TreeView::Children(HTREEITEM item) const {
    std::vector<HTREEITEM> children;
    HTREEITEM child = reinterpret_cast<HTREEITEM>(
        SendMessageW(window_, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
    while (child) {
        children.push_back(child);
        child = reinterpret_cast<HTREEITEM>(
            SendMessageW(window_, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
    }
    return children;
}

void TreeView::Select(HTREEITEM item) {
    SendMessageW(window_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

void TreeView::Expand(HTREEITEM item) {
    SendMessageW(window_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

HTREEITEM TreeView::Parent(HTREEITEM item) const {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(window_, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

std::wstring TreeView::Text(HTREEITEM item) const {
    // Tree items hold what the server named a branch; grow the buffer until the text fits.
    for (size_t size = 256;; size *= 4) {
        std::wstring text(size, L'\0');
        TVITEMW data = {};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = &text[0];
        data.cchTextMax = static_cast<int>(size);
        if (!SendMessageW(window_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data)))
            return std::wstring();
        const size_t length = std::wcslen(data.pszText);
        if (length + 1 < size || size >= (1u << 20)) {
            if (data.pszText != text.data())
                return std::wstring(data.pszText, length); // the control's own buffer
            text.resize(length);
            return text;
        }
    }
}

void ListBox::Clear() {
    SendMessageW(window_, LB_RESETCONTENT, 0, 0);
}

void ListBox::Add(const std::wstring& text) {
    SendMessageW(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ListBox::Fill(const std::vector<std::wstring>& texts) {
    SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
    Clear();
    size_t bytes = 0;
    for (const std::wstring& text : texts)
        bytes += (text.size() + 1) * sizeof(wchar_t);
    SendMessageW(window_, LB_INITSTORAGE, texts.size(), static_cast<LPARAM>(bytes));
    for (const std::wstring& text : texts)
        Add(text);
    SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(window_, nullptr, TRUE);
}

int ListBox::Count() const {
    const LRESULT count = SendMessageW(window_, LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

int ListBox::Selection() const {
    return static_cast<int>(SendMessageW(window_, LB_GETCURSEL, 0, 0));
}

void ListBox::Select(int index) {
    SendMessageW(window_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::wstring ListBox::Text(int index) const {
    const LRESULT length = SendMessageW(window_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR || length < 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(window_, LB_GETTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got == LB_ERR || got < 0 ? 0 : static_cast<size_t>(got));
    return text;
}

void ListBox::FitHorizontalExtent() {
    LONG widest = 0;
    if (HDC dc = GetDC(window_)) {
        // Measured in the font the list draws with.
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
        const HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
        const int count = Count();
        for (int i = 0; i < count; ++i) {
            const std::wstring text = Text(i);
            SIZE size = {};
            if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size))
                widest = std::max(widest, size.cx);
        }
        if (previous)
            SelectObject(dc, previous);
        ReleaseDC(window_, dc);
    }
    SendMessageW(window_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

void ListBox::Show(bool visible) {
    ShowWindow(window_, visible ? SW_SHOW : SW_HIDE);
}

} // namespace pelorin

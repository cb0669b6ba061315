#include "cell_editor.h"

#include "grid_model.h"

namespace grid {

CellEditor::~CellEditor() {
    if (edit_ && IsWindow(edit_))
        DestroyWindow(edit_);
}

bool CellEditor::Open(HWND grid, HFONT font, const RECT& rect, const std::wstring& text,
                      bool selectAll) {
    if (!edit_ || !IsWindow(edit_)) {
        edit_ = CreateWindowExW(
            0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL | ES_LEFT, 0, 0, 0, 0, grid, nullptr,
            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(grid, GWLP_HINSTANCE)), nullptr);
        if (!edit_)
            return false;
        SetWindowLongPtrW(edit_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        editProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
        SendMessageW(edit_, EM_LIMITTEXT, GridModel::kMaxTextChars, 0);
    }
    SetFont(font);
    SetWindowTextW(edit_, text.c_str());
    SetWindowPos(edit_, HWND_TOP, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_SHOWWINDOW);
    if (selectAll)
        SendMessageW(edit_, EM_SETSEL, 0, -1);
    else
        SendMessageW(edit_, EM_SETSEL, text.size(), text.size());
    open_ = true;
    SetFocus(edit_);
    return true;
}

void CellEditor::Close() {
    if (!open_)
        return;
    open_ = false;
    const bool focused = GetFocus() == edit_;
    ShowWindow(edit_, SW_HIDE);
    if (focused)
        SetFocus(GetParent(edit_));
}

std::wstring CellEditor::Text() const {
    if (!edit_)
        return std::wstring();
    const int length = GetWindowTextLengthW(edit_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(edit_, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void CellEditor::SetFont(HFONT font) {
    if (edit_)
        SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

LRESULT CALLBACK CellEditor::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CellEditor*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_GETDLGCODE:
        // Enter, Escape and Tab end the typing here instead of pressing a dialog button.
        return CallWindowProcW(self->editProc_, hwnd, message, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN: {
        const bool back = GetKeyState(VK_SHIFT) < 0;
        switch (wParam) {
        case VK_RETURN:
            self->owner_.EditEnded(true, 0, 0);
            return 0;
        case VK_ESCAPE:
            self->owner_.EditEnded(false, 0, 0);
            return 0;
        case VK_TAB:
            self->owner_.EditEnded(true, back ? -1 : 1, 0);
            return 0;
        case VK_UP:
            self->owner_.EditEnded(true, 0, -1);
            return 0;
        case VK_DOWN:
            self->owner_.EditEnded(true, 0, 1);
            return 0;
        }
        break;
    }
    case WM_CHAR:
        if (wParam == L'\r' || wParam == L'\t' || wParam == 27)
            return 0; // already handled as keys; the edit box would only beep
        break;
    case WM_KILLFOCUS:
        if (self->open_)
            self->owner_.EditEnded(true, 0, 0);
        break;
    }
    return CallWindowProcW(self->editProc_, hwnd, message, wParam, lParam);
}

} // namespace grid

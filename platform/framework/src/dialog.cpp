#include "fw/dialog.h"

#include <algorithm>
#include <vector>

#include "dialog_controls.h"
#include "fw/app.h"
#include "fw/exchange.h"
#include "fw/resources.h"

namespace fw {
namespace {

// The modal dialogs running on this thread, innermost last. A dialog opened without a parent
// goes over the innermost one, whatever the window manager thinks is active.
std::vector<HWND>& ModalStack() {
    thread_local std::vector<HWND> stack;
    return stack;
}

void LeaveModalStack(HWND hwnd) {
    auto& stack = ModalStack();
    stack.erase(std::remove(stack.begin(), stack.end(), hwnd), stack.end());
}

}  // namespace

Dialog::Dialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() {
    if (hwnd_ && IsWindow(hwnd_))
        DestroyWindow(hwnd_);
}

const wchar_t* Dialog::WindowPropertyName() {
    return L"fw.Dialog";
}

INT_PTR Dialog::DoModal() {
    FoundResource found = FindChainResource(reinterpret_cast<LPCWSTR>(RT_DIALOG), templateId_);
    if (!found.resource)
        return -1;
    HGLOBAL loaded = LoadResource(found.module, found.resource);
    auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(loaded));
    if (!dialogTemplate)
        return -1;
    // COM controls named in the template are ours to create once the dialog manager made the
    // rest (it knows no such window class).
    controls_ =
        DialogControls::Prepare(dialogTemplate, SizeofResource(found.module, found.resource));
    if (controls_)
        dialogTemplate = controls_->Template();

    // The owner is always a top-level window; it stays disabled while we run. Without a parent
    // the dialog goes over whatever the application shows last (the main window or the dialog
    // that is running on top of it).
    HWND owner = parent_;
    if (!owner && !ModalStack().empty() && IsWindow(ModalStack().back()))
        owner = ModalStack().back();
    if (!owner) {
        owner = MainWindow() ? MainWindow() : GetActiveWindow();
        if (owner)
            owner = GetLastActivePopup(GetAncestor(owner, GA_ROOT));
    }
    if (owner)
        owner = GetAncestor(owner, GA_ROOT);
    bool reenableOwner = false;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        reenableOwner = true;
    }

    ended_ = false;
    result_ = -1;
    HWND created = CreateDialogIndirectParamW(found.module, dialogTemplate, owner, DialogProc,
                                              reinterpret_cast<LPARAM>(this));
    if (!created) {
        LeaveModalStack(hwnd_);
        if (reenableOwner)
            EnableWindow(owner, TRUE);
        controls_.reset();
        return -1;
    }
    if (!ended_)
        ShowWindow(hwnd_, SW_SHOWNORMAL);

    MSG message;
    while (!ended_) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam)); // let the outer loop see it
            break;
        }
        if (got == -1)
            break;
        if (PreTranslateMessage(&message))
            continue;
        if (hwnd_ && IsDialogMessageW(hwnd_, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    LeaveModalStack(hwnd_);
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (reenableOwner)
        EnableWindow(owner, TRUE);
    if (owner && GetActiveWindow() == hwnd_)
        SetActiveWindow(owner);
    if (hwnd_) {
        HWND window = hwnd_;
        DestroyWindow(window); // clears hwnd_ through WM_NCDESTROY
        hwnd_ = nullptr;
    }
    controls_.reset();
    return result_;
}

void Dialog::EndDialog(INT_PTR result) {
    result_ = result;
    ended_ = true;
    if (hwnd_)
        PostMessageW(hwnd_, WM_NULL, 0, 0); // wake the modal loop
}

bool Dialog::UpdateData(bool save) {
    if (!hwnd_)
        return false;
    DataExchange dx(*this, save);
    DoDataExchange(dx);
    return !dx.Failed();
}

HWND Dialog::Item(UINT id) const {
    return hwnd_ ? GetDlgItem(hwnd_, static_cast<int>(id)) : nullptr;
}

String Dialog::GetItemText(UINT id) const {
    HWND item = Item(id);
    if (!item)
        return String();
    int length = GetWindowTextLengthA(item);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(item, &text[0], length + 1);
    return String(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void Dialog::SetItemText(UINT id, const char* text) {
    if (HWND item = Item(id))
        SetWindowTextA(item, text ? text : "");
}

void Dialog::CheckRadioButton(UINT first, UINT last, UINT checked) {
    if (hwnd_)
        ::CheckRadioButton(hwnd_, static_cast<int>(first), static_cast<int>(last),
                           static_cast<int>(checked));
}

LRESULT Dialog::SendItemMessage(UINT id, UINT message, WPARAM wParam, LPARAM lParam) const {
    HWND item = Item(id);
    return item ? SendMessageW(item, message, wParam, lParam) : 0;
}

BOOL Dialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void Dialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void Dialog::DoDataExchange(DataExchange&) {}

bool Dialog::PreTranslateMessage(MSG*) {
    return false;
}

const EventEntry* Dialog::GetEventTable() const {
    return nullptr;
}

const CommandEntry* Dialog::GetCommandTable() const {
    return nullptr;
}

INT_PTR Dialog::OnMessage(UINT, WPARAM, LPARAM, bool&) {
    return 0;
}

bool Dialog::OnCommand(UINT id, UINT code) {
    if (const CommandEntry* entry = GetCommandTable()) {
        for (; entry->handler; ++entry) {
            if (entry->id == id && entry->code == code) {
                (this->*(entry->handler))();
                return true;
            }
        }
    }
    // Enter and Escape reach us as IDOK/IDCANCEL from the dialog manager, the close box as
    // IDCANCEL from WM_CLOSE.
    if (code == BN_CLICKED && id == IDOK) {
        OnOK();
        return true;
    }
    if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        SetPropW(hwnd, WindowPropertyName(), reinterpret_cast<HANDLE>(self));
        ModalStack().push_back(hwnd);
        if (self->controls_ && !self->controls_->Create(hwnd)) {
            self->EndDialog(-1); // the dialog cannot work without its controls
            return FALSE;
        }
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    if (message == WM_DESTROY && self->controls_)
        self->controls_->Destroy(); // while the controls' windows still exist
    switch (message) {
    case WM_COMMAND:
        return self->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_NCDESTROY:
        LeaveModalStack(hwnd);
        RemovePropW(hwnd, WindowPropertyName());
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        return FALSE;
    default: {
        bool handled = false;
        INT_PTR result = self->OnMessage(message, wParam, lParam, handled);
        if (handled) {
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    }
}

} // namespace fw

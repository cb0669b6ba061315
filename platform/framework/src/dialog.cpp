#include "fw/dialog.h"

#include <algorithm>
#include <memory>
#include <new>
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

void EnterModalStack(HWND hwnd) {
    try {
        ModalStack().push_back(hwnd);
    } catch (...) {
        // Out of memory: a dialog opened from this one without a parent then goes over the
        // active window instead.
    }
}

void LeaveModalStack(HWND hwnd) {
    auto& stack = ModalStack();
    stack.erase(std::remove(stack.begin(), stack.end(), hwnd), stack.end());
}

} // namespace

Dialog::Dialog(UINT templateId, HWND parent, DialogEntry entry, HMODULE module)
    : templateId_(templateId), parent_(parent), entry_(entry ? entry : &detail::EnterDialog),
      module_(module) {}

Dialog::~Dialog() {
    if (hwnd_ && IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    delete controls_;
}

const wchar_t* Dialog::WindowPropertyName() noexcept {
    return L"fw.Dialog";
}

bool Dialog::Enter(DialogCall& call) {
    if (entry_(*this, call))
        return true;
    ReportUnexpected();
    return false;
}

void Dialog::ReportUnexpected() {
    if (!ShowMessageId(hwnd_, kMsgUnexpected, MB_OK | MB_ICONEXCLAMATION, module_))
        ShowMessageW(hwnd_, L"Unexpected error.", MB_OK | MB_ICONEXCLAMATION);
}

INT_PTR Dialog::DoModal() noexcept {
    FoundResource found =
        FindChainResource(reinterpret_cast<LPCWSTR>(RT_DIALOG), templateId_, module_);
    if (!found.resource)
        return -1;
    HGLOBAL loaded = LoadResource(found.module, found.resource);
    auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(loaded));
    if (!dialogTemplate)
        return -1;
    // COM controls named in the template are ours to create once the dialog manager made the
    // rest (it knows no such window class).
    delete controls_;
    controls_ =
        DialogControls::Prepare(dialogTemplate, SizeofResource(found.module, found.resource))
            .release();
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
    initFailed_ = false;
    result_ = -1;
    HWND created = CreateDialogIndirectParamW(found.module, dialogTemplate, owner, DialogProc,
                                              reinterpret_cast<LPARAM>(this));
    if (!created) {
        LeaveModalStack(hwnd_);
        if (reenableOwner)
            EnableWindow(owner, TRUE);
        delete controls_;
        controls_ = nullptr;
        return -1;
    }
    if (!ended_)
        ShowWindow(hwnd_, SW_SHOWNORMAL);
    if (initFailed_)
        ReportUnexpected();

    MSG message;
    while (!ended_) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam)); // let the outer loop see it
            break;
        }
        if (got == -1)
            break;
        DialogCall call{DialogCall::kPreTranslate};
        call.msg = &message;
        if (Enter(call) && call.handled)
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
    delete controls_;
    controls_ = nullptr;
    return result_;
}

void Dialog::EndDialog(INT_PTR result) noexcept {
    result_ = result;
    ended_ = true;
    if (hwnd_)
        PostMessageW(hwnd_, WM_NULL, 0, 0); // wake the modal loop
}

bool Dialog::UpdateData(bool save) noexcept {
    if (!hwnd_)
        return false;
    DataExchange dx(*this, save);
    DialogCall call{DialogCall::kDataExchange};
    call.exchange = &dx;
    return Enter(call) && !dx.Failed();
}

HWND Dialog::Item(UINT id) const noexcept {
    return hwnd_ ? GetDlgItem(hwnd_, static_cast<int>(id)) : nullptr;
}

String Dialog::GetItemText(UINT id) const noexcept {
    HWND item = Item(id);
    if (!item)
        return String();
    const int length = GetWindowTextLengthA(item);
    if (length <= 0)
        return String();
    std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
    if (!text)
        return String();
    const int got = GetWindowTextA(item, text.get(), length + 1);
    return String(text.get(), got > 0 ? static_cast<size_t>(got) : 0);
}

void Dialog::SetItemText(UINT id, const char* text) noexcept {
    if (HWND item = Item(id))
        SetWindowTextA(item, text ? text : "");
}

void Dialog::CheckRadioButton(UINT first, UINT last, UINT checked) noexcept {
    if (hwnd_)
        ::CheckRadioButton(hwnd_, static_cast<int>(first), static_cast<int>(last),
                           static_cast<int>(checked));
}

LRESULT Dialog::SendItemMessage(UINT id, UINT message, WPARAM wParam,
                                LPARAM lParam) const noexcept {
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
    DialogCall table{DialogCall::kCommandTable};
    if (Enter(table) && table.commands) {
        for (const CommandEntry* entry = table.commands; entry->handler; ++entry) {
            if (entry->id == id && entry->code == code) {
                DialogCall call{DialogCall::kCommand};
                call.handler = entry->handler;
                Enter(call);
                return true;
            }
        }
    }
    // Enter and Escape reach us as IDOK/IDCANCEL from the dialog manager, the close box as
    // IDCANCEL from WM_CLOSE.
    if (code == BN_CLICKED && (id == IDOK || id == IDCANCEL)) {
        DialogCall call{id == IDOK ? DialogCall::kOK : DialogCall::kCancel};
        Enter(call);
        return true;
    }
    return false;
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY && controls_)
        controls_->Destroy(); // while the controls' windows still exist
    switch (message) {
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_NCDESTROY:
        LeaveModalStack(hwnd_);
        RemovePropW(hwnd_, WindowPropertyName());
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        hwnd_ = nullptr;
        return FALSE;
    default: {
        DialogCall call{DialogCall::kMessage};
        call.message = message;
        call.wParam = wParam;
        call.lParam = lParam;
        if (Enter(call) && call.handled) {
            SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, call.result);
            return TRUE;
        }
        return FALSE;
    }
    }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing of ours may unwind into the window manager; the dialog's own code is guarded by
    // its entry, this catches the framework's.
    try {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<Dialog*>(lParam);
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            SetPropW(hwnd, WindowPropertyName(), reinterpret_cast<HANDLE>(self));
            EnterModalStack(hwnd);
            if (self->controls_ && !self->controls_->Create(hwnd)) {
                self->EndDialog(-1); // the dialog cannot work without its controls
                return FALSE;
            }
            DialogCall call{DialogCall::kInitDialog};
            call.result = TRUE; // a failed initialisation leaves the default focus
            self->initFailed_ = !self->entry_(*self, call);
            return call.result;
        }
        auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
    } catch (...) {
        return FALSE;
    }
}

} // namespace fw

#include "message_catcher.h"

MessageCatcher* MessageCatcher::current_ = nullptr;

MessageCatcher::MessageCatcher() {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

MessageCatcher::~MessageCatcher() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
}

LRESULT CALLBACK MessageCatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && current_) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        HWND text = GetDlgItem(window, 0xFFFF);
        // A box is activated again when another window took the focus meanwhile; it is one
        // message all the same.
        if (wcscmp(className, L"#32770") == 0 && text && !GetPropW(window, L"fw.Dialog") &&
            !GetPropW(window, L"test.caught")) {
            SetPropW(window, L"test.caught", reinterpret_cast<HANDLE>(1));
            Seen seen;
            wchar_t buffer[1024] = {};
            GetWindowTextW(window, buffer, 1024);
            seen.caption = buffer;
            GetWindowTextW(text, buffer, 1024);
            seen.text = buffer;
            current_->seen_.push_back(seen);
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

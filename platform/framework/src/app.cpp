#include "fw/app.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "fw/dialog.h"
#include "fw/string.h"

namespace fw {
namespace {

std::wstring gTitle = L"Configuration";
HWND gMainWindow = nullptr;
volatile LONG gLocks = 0;
thread_local int tWaitDepth = 0;

HWND DefaultOwner(HWND owner) {
    if (owner)
        return owner;
    HWND active = GetActiveWindow();
    return active ? active : gMainWindow;
}

// The module of the framework dialog that `owner` is (or lies in), else null.
HMODULE DialogModuleOf(HWND owner) {
    if (!owner || !IsWindow(owner))
        return nullptr;
    for (HWND window : {owner, GetAncestor(owner, GA_ROOT)})
        if (const auto* dialog =
                static_cast<const Dialog*>(GetPropW(window, Dialog::WindowPropertyName())))
            return dialog->Module();
    return nullptr;
}

// A counted text, terminated in our own memory.
std::unique_ptr<wchar_t[]> Terminated(const wchar_t* text, size_t length) {
    std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length + 1]);
    if (copy) {
        std::wmemcpy(copy.get(), text, length);
        copy[length] = L'\0';
    }
    return copy;
}

} // namespace

void SetAppTitle(const wchar_t* title) noexcept {
    try {
        gTitle = title ? title : L"";
    } catch (...) {
        // out of memory: the old title stays
    }
}
const wchar_t* AppTitle() noexcept {
    return gTitle.c_str();
}
void SetMainWindow(HWND window) noexcept {
    gMainWindow = window;
}
HWND MainWindow() noexcept {
    return gMainWindow;
}

int ShowMessageW(HWND owner, const wchar_t* text, UINT flags) noexcept {
    // A message box must show the arrow even while a wait cursor is up.
    HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    HCURSOR previous = tWaitDepth > 0 ? SetCursor(arrow) : nullptr;
    int answer = MessageBoxW(DefaultOwner(owner), text ? text : L"", gTitle.c_str(), flags);
    if (previous)
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    return answer;
}

int ShowMessage(HWND owner, const char* ansiText, UINT flags) noexcept {
    try {
        return ShowMessageW(owner, ToWide(ansiText).c_str(), flags);
    } catch (...) {
        return 0; // out of memory: nothing shown
    }
}

int ShowMessageId(HWND owner, UINT stringId, UINT flags, HMODULE caller) noexcept {
    HMODULE first = DialogModuleOf(owner);
    const wchar_t* text = nullptr;
    size_t length = 0;
    if (!FindChainString(stringId, text, length, first ? first : caller))
        return 0;
    const std::unique_ptr<wchar_t[]> shown = Terminated(text, length);
    return shown ? ShowMessageW(owner, shown.get(), flags) : 0;
}

WaitCursor::WaitCursor() noexcept {
    ++tWaitDepth;
    previous_ = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
}

WaitCursor::~WaitCursor() {
    --tWaitDepth;
    SetCursor(tWaitDepth > 0 ? LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT))
                             : previous_);
}

bool WaitCursor::Active() noexcept {
    return tWaitDepth > 0;
}

void LockModule() noexcept {
    InterlockedIncrement(&gLocks);
}
void UnlockModule() noexcept {
    InterlockedDecrement(&gLocks);
}
long ModuleLockCount() noexcept {
    return gLocks;
}

} // namespace fw

#include "fw/app.h"

#include <string>

#include "fw/resources.h"
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

} // namespace

void SetAppTitle(const wchar_t* title) {
    gTitle = title ? title : L"";
}
const wchar_t* AppTitle() {
    return gTitle.c_str();
}
void SetMainWindow(HWND window) {
    gMainWindow = window;
}
HWND MainWindow() {
    return gMainWindow;
}

int ShowMessageW(HWND owner, const wchar_t* text, UINT flags) {
    // A message box must show the arrow even while a wait cursor is up.
    HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    HCURSOR previous = tWaitDepth > 0 ? SetCursor(arrow) : nullptr;
    int answer = MessageBoxW(DefaultOwner(owner), text ? text : L"", gTitle.c_str(), flags);
    if (previous)
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    return answer;
}

int ShowMessage(HWND owner, const char* ansiText, UINT flags) {
    return ShowMessageW(owner, ToWide(ansiText).c_str(), flags);
}

int ShowMessageId(HWND owner, UINT stringId, UINT flags) {
    std::wstring text;
    if (!LoadChainString(stringId, text))
        return 0;
    return ShowMessageW(owner, text.c_str(), flags);
}

WaitCursor::WaitCursor() {
    ++tWaitDepth;
    previous_ = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
}

WaitCursor::~WaitCursor() {
    --tWaitDepth;
    SetCursor(tWaitDepth > 0 ? LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT))
                             : previous_);
}

bool WaitCursor::Active() {
    return tWaitDepth > 0;
}

void LockModule() {
    InterlockedIncrement(&gLocks);
}
void UnlockModule() {
    InterlockedDecrement(&gLocks);
}
long ModuleLockCount() {
    return gLocks;
}

} // namespace fw

// Application-wide services: the host application's title and main window, message boxes,
// the wait cursor and the module lock count.
#pragma once

#include <windows.h>

#include "fw/export.h"
#include "fw/resources.h"

namespace fw {

// The host application sets these once; plug-in dialogs without a parent are owned by the
// main window, and every message box carries the title as its caption.
FW_API void SetAppTitle(const wchar_t* title) noexcept;
FW_API const wchar_t* AppTitle() noexcept;
FW_API void SetMainWindow(HWND window) noexcept;
FW_API HWND MainWindow() noexcept;

// Message boxes captioned with the application title. Without an owner the box belongs to the
// active window of this thread, else to the main window. They answer the button pressed, 0 when
// nothing could be shown.
FW_API int ShowMessage(HWND owner, const char* ansiText, UINT flags) noexcept;
FW_API int ShowMessageW(HWND owner, const wchar_t* text, UINT flags) noexcept;
// Text from the string tables: of the owner's module when the owner is a framework dialog, else
// of the calling module, then of the resource chain. An unknown id shows nothing and returns 0.
FW_API int ShowMessageId(HWND owner, UINT stringId, UINT flags,
                         HMODULE caller = ThisModule()) noexcept;

// Shows the hourglass while it lives; nests.
class FW_API WaitCursor {
public:
    WaitCursor() noexcept;
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    static bool Active() noexcept; // true while any WaitCursor lives on this thread

private:
    HCURSOR previous_;
};

// Count of live objects that keep the hosting module loaded (COM sinks, dialogs).
FW_API void LockModule() noexcept;
FW_API void UnlockModule() noexcept;
FW_API long ModuleLockCount() noexcept;

} // namespace fw

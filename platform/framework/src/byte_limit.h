// Inside the framework: a limit on the bytes an edit control may hold, counted in the process
// ANSI code page, for dialogs whose values are stored as ANSI bytes.
#pragma once

#include <windows.h>

#include <cstddef>

namespace fw {

// From now on, what is typed (WM_CHAR, WM_IME_CHAR, surrogate pairs as one character), pasted
// or inserted with EM_REPLACESEL into `edit` stops at `maxBytes` bytes; whatever does not fit is
// left out (whole characters) and the parent hears EN_MAXTEXT. WM_SETTEXT is not limited. A
// second call changes the limit. False when the edit could not be subclassed.
bool LimitEditBytes(HWND edit, size_t maxBytes) noexcept;

// The bytes of `units` UTF-16 units in the ANSI code page.
size_t AnsiBytes(const wchar_t* text, size_t units) noexcept;

} // namespace fw

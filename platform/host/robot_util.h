// Small helpers the robot's files share: deadlines, window texts, quoting for messages.
#pragma once

#include <windows.h>

#include <string>

#include "fw/string.h"

namespace host {

constexpr DWORD kDeadline = 10000; // ms a step waits for a condition
constexpr DWORD kPoll = 20;

// Waits for `condition` with a deadline, polling; false when the deadline passed.
template <class Condition> bool WaitUntil(Condition condition, DWORD timeout = kDeadline) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(kPoll);
    }
}

inline std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

inline std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

inline std::wstring Wide(const std::string& utf8) {
    return fw::Utf8ToWide(utf8);
}

inline std::string Quoted(const std::wstring& text) {
    return "\"" + fw::WideToUtf8(text) + "\"";
}

inline std::string Quoted(const std::string& utf8) {
    return "\"" + utf8 + "\"";
}

} // namespace host

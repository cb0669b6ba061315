// The byte limit of an edit control, as a window subclass: the edit's own limit counts UTF-16
// units, which lets a double-byte character through as one.
#include "byte_limit.h"

#include <commctrl.h>

#include <cwchar>
#include <memory>
#include <new>
#include <utility>

namespace fw {
namespace {

constexpr UINT_PTR kSubclassId = 0x46574C42;

struct Limit {
    size_t maxBytes;
    wchar_t pendingHigh = 0; // the first half of a surrogate pair, typed, waiting for the second
};

// UTF-16 units of a character starting at text[0] (a surrogate pair counts as one character).
size_t CharacterUnits(const wchar_t* text, size_t units) {
    return units >= 2 && IS_HIGH_SURROGATE(text[0]) && IS_LOW_SURROGATE(text[1]) ? 2 : 1;
}

// How many leading units of `text` fit into `room` bytes, in whole characters.
size_t FittingUnits(const wchar_t* text, size_t units, size_t room) {
    size_t used = 0, taken = 0;
    while (taken < units) {
        const size_t step = CharacterUnits(text + taken, units - taken);
        const size_t bytes = AnsiBytes(text + taken, step);
        if (bytes > room - used)
            break;
        used += bytes;
        taken += step;
    }
    return taken;
}

// The bytes the edit keeps when its selection is replaced; false when it cannot be read.
bool KeptBytes(HWND edit, size_t& kept) {
    const int length = GetWindowTextLengthW(edit);
    if (length < 0)
        return false;
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[static_cast<size_t>(length) + 1]);
    if (!text)
        return false;
    const int got = GetWindowTextW(edit, text.get(), length + 1);
    const size_t total = got > 0 ? static_cast<size_t>(got) : 0;
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start > end)
        std::swap(start, end);
    const size_t from = start < total ? start : total;
    const size_t to = end < total ? end : total;
    kept = AnsiBytes(text.get(), from) + AnsiBytes(text.get() + to, total - to);
    return true;
}

void NotifyFull(HWND edit) {
    SendMessageW(GetParent(edit), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(edit), EN_MAXTEXT),
                 reinterpret_cast<LPARAM>(edit));
}

bool ReadOnly(HWND edit) {
    return (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0;
}

// Replaces the selection with as much of `text` as fits, as EM_REPLACESEL would.
void InsertFitting(HWND edit, const Limit& limit, const wchar_t* text, size_t units, BOOL undo) {
    size_t kept = 0;
    if (!KeptBytes(edit, kept))
        return; // out of memory: nothing inserted rather than too much
    const size_t room = kept < limit.maxBytes ? limit.maxBytes - kept : 0;
    const size_t fit = FittingUnits(text, units, room);
    std::unique_ptr<wchar_t[]> part(new (std::nothrow) wchar_t[fit + 1]);
    if (!part)
        return;
    std::wmemcpy(part.get(), text, fit);
    part[fit] = L'\0';
    DefSubclassProc(edit, EM_REPLACESEL, static_cast<WPARAM>(undo),
                    reinterpret_cast<LPARAM>(part.get()));
    if (fit < units)
        NotifyFull(edit);
}

// The clipboard's text, as the edit itself would paste it: a single-line edit takes the first
// line only.
void Paste(HWND edit, const Limit& limit) {
    if (ReadOnly(edit) || !IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(edit))
        return;
    std::unique_ptr<wchar_t[]> copy;
    size_t units = 0;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            const size_t most = GlobalSize(data) / sizeof(wchar_t);
            while (units < most && text[units])
                ++units;
            copy.reset(new (std::nothrow) wchar_t[units + 1]);
            if (copy)
                std::wmemcpy(copy.get(), text, units);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    if (!copy)
        return;
    if (!(GetWindowLongW(edit, GWL_STYLE) & ES_MULTILINE)) {
        if (const wchar_t* newline = std::wmemchr(copy.get(), L'\n', units)) {
            units = static_cast<size_t>(newline - copy.get());
            if (units && copy[units - 1] == L'\r')
                --units;
        }
    }
    InsertFitting(edit, limit, copy.get(), units, TRUE);
}

// One typed character: passed on when it fits, dropped (EN_MAXTEXT) when it does not. The two
// halves of a surrogate pair are weighed together and passed on together.
LRESULT Typed(HWND edit, Limit& limit, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto c = static_cast<wchar_t>(wParam);
    wchar_t character[2] = {c, 0};
    size_t units = 1;
    if (IS_HIGH_SURROGATE(c)) {
        limit.pendingHigh = c;
        return 0;
    }
    if (IS_LOW_SURROGATE(c) && limit.pendingHigh) {
        character[0] = limit.pendingHigh;
        character[1] = c;
        units = 2;
    }
    limit.pendingHigh = 0; // a first half without its second is dropped
    // Control characters are editing keys (backspace, the clipboard shortcuts), not text.
    if (units == 1 && (c < 0x20 || c == 0x7F))
        return DefSubclassProc(edit, message, wParam, lParam);
    if (ReadOnly(edit))
        return DefSubclassProc(edit, message, wParam, lParam);
    size_t kept = 0;
    if (!KeptBytes(edit, kept))
        return 0;
    if (kept > limit.maxBytes || AnsiBytes(character, units) > limit.maxBytes - kept) {
        NotifyFull(edit);
        return 0;
    }
    for (size_t i = 0; i < units; ++i)
        DefSubclassProc(edit, message, character[i], lParam);
    return 0;
}

LRESULT CALLBACK LimitProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR data) {
    auto* limit = reinterpret_cast<Limit*>(data);
    switch (message) {
    case WM_CHAR:
    case WM_IME_CHAR:
        return Typed(edit, *limit, message, wParam, lParam);
    case WM_PASTE:
        Paste(edit, *limit);
        return 0;
    case WM_KEYDOWN:
        // Shift+Insert pastes inside the edit without a WM_PASTE.
        if (wParam == VK_INSERT && GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) >= 0) {
            Paste(edit, *limit);
            return 0;
        }
        break;
    case EM_REPLACESEL:
        if (const auto* text = reinterpret_cast<const wchar_t*>(lParam)) {
            InsertFitting(edit, *limit, text, std::wcslen(text), static_cast<BOOL>(wParam));
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(edit, LimitProc, kSubclassId);
        delete limit;
        break;
    default:
        break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

} // namespace

size_t AnsiBytes(const wchar_t* text, size_t units) noexcept {
    if (!text || units == 0 || units > 0x7FFFFFFF)
        return 0;
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    return bytes > 0 ? static_cast<size_t>(bytes) : units;
}

bool LimitEditBytes(HWND edit, size_t maxBytes) noexcept {
    if (!edit || !IsWindow(edit))
        return false;
    DWORD_PTR data = 0;
    if (GetWindowSubclass(edit, LimitProc, kSubclassId, &data) && data) {
        reinterpret_cast<Limit*>(data)->maxBytes = maxBytes;
        return true;
    }
    auto* limit = new (std::nothrow) Limit{maxBytes};
    if (!limit)
        return false;
    if (!SetWindowSubclass(edit, LimitProc, kSubclassId, reinterpret_cast<DWORD_PTR>(limit))) {
        delete limit;
        return false;
    }
    return true;
}

} // namespace fw

#include "text.h"

#include <windows.h>

namespace tabulo {
namespace {

std::wstring ToWide(UINT codePage, DWORD flags, const char* bytes, int size, bool& ok) {
    ok = true;
    if (size == 0)
        return std::wstring();
    const int needed = MultiByteToWideChar(codePage, flags, bytes, size, nullptr, 0);
    if (needed <= 0) {
        ok = false;
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, flags, bytes, size, &wide[0], needed);
    return wide;
}

std::string FromWide(UINT codePage, DWORD flags, const std::wstring& wide, BOOL* usedDefault) {
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    const int needed =
        WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
    if (needed <= 0)
        return std::string();
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, &bytes[0], needed, nullptr,
                        usedDefault);
    return bytes;
}

} // namespace

bool AnsiToWide(const char* ansi, std::wstring& wide) {
    bool ok = true;
    wide = ansi ? ToWide(CP_ACP, MB_ERR_INVALID_CHARS, ansi, lstrlenA(ansi), ok) : std::wstring();
    return ok;
}

std::string WideToAnsiLossy(const std::wstring& wide) {
    return FromWide(CP_ACP, 0, wide, nullptr);
}

bool WideToAnsiExact(const std::wstring& wide, std::string& ansi) {
    BOOL usedDefault = FALSE;
    // No best-fit look-alikes: a path must name the same file after the round trip.
    ansi = FromWide(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, &usedDefault);
    return !usedDefault && (wide.empty() || !ansi.empty());
}

std::string WideToUtf8(const std::wstring& wide) {
    return FromWide(CP_UTF8, 0, wide, nullptr);
}

std::wstring Utf8ToWide(const std::string& utf8) {
    bool ok = true;
    return ToWide(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), ok);
}

} // namespace tabulo

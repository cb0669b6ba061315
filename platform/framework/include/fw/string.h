// The framework's string: ANSI bytes in the process code page, one pointer wide, so that it can sit
// inside records shared between the host and the plug-ins. Its storage always comes from the
// framework DLL, so a string made in one module may be freed in another.
//
// Nothing the DLL exports takes or returns an object of the C++ library: every module links its
// own copy of it. The std:: conveniences below are inline, so they are built, and throw if they
// must, in the caller's module.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <string>

#include "fw/export.h"

namespace fw {

class FW_API String {
public:
    String() noexcept;
    String(const char* text) noexcept; // NOLINT: implicit like a C string
    String(const char* text, size_t bytes) noexcept;
    String(const std::string& text) noexcept // NOLINT
        : String(text.data(), text.size()) {}
    String(const String& other) noexcept;
    String(String&& other) noexcept;
    ~String();

    String& operator=(const String& other) noexcept;
    String& operator=(String&& other) noexcept;
    String& operator=(const char* text) noexcept;

    // When memory runs out these keep the old text; they never throw.
    void Assign(const char* text, size_t bytes) noexcept;
    void Append(const char* text, size_t bytes) noexcept;
    void Clear() noexcept;

    const char* c_str() const { return data_; }
    operator const char*() const { return data_; } // NOLINT: used where C strings go
    size_t size() const noexcept;
    bool empty() const { return data_[0] == '\0'; }
    std::string str() const { return std::string(data_, size()); }

    friend bool operator==(const String& a, const String& b) {
        return a.size() == b.size() && std::memcmp(a.data_, b.data_, a.size()) == 0;
    }
    friend bool operator==(const String& a, const char* b) {
        const size_t length = b ? std::strlen(b) : 0;
        return a.size() == length && std::memcmp(a.data_, b ? b : "", length) == 0;
    }
    friend bool operator!=(const String& a, const String& b) { return !(a == b); }

private:
    char* data_; // points just past a size header, or at the shared empty text
};

static_assert(sizeof(String) == 4, "the string is one 32-bit handle");

// Text conversions between the process ANSI code page (or UTF-8) and UTF-16. Characters the
// code page lacks become its default character.
namespace detail {

inline std::wstring MultiByteToWide(UINT codePage, const char* text, size_t bytes) {
    if (!text || bytes == 0 || bytes > 0x7FFFFFFF)
        return std::wstring();
    const int length = static_cast<int>(bytes);
    const int n = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text, length, &out[0], n);
    return out;
}

inline std::string WideToMultiByte(UINT codePage, const wchar_t* text, size_t units) {
    if (!text || units == 0 || units > 0x7FFFFFFF)
        return std::string();
    const int length = static_cast<int>(units);
    const int n = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(codePage, 0, text, length, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace detail

inline std::wstring ToWide(const char* ansi) {
    return detail::MultiByteToWide(CP_ACP, ansi, ansi ? std::strlen(ansi) : 0);
}
inline std::string ToAnsi(const wchar_t* wide) {
    return detail::WideToMultiByte(CP_ACP, wide, wide ? std::wcslen(wide) : 0);
}
inline std::wstring Utf8ToWide(const std::string& utf8) {
    return detail::MultiByteToWide(CP_UTF8, utf8.data(), utf8.size());
}
inline std::string WideToUtf8(const std::wstring& wide) {
    return detail::WideToMultiByte(CP_UTF8, wide.data(), wide.size());
}

} // namespace fw

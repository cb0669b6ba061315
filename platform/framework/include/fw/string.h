// The framework's string: ANSI bytes in the process code page, one pointer wide, so that it can sit
// inside records shared between the host and the plug-ins. Its storage always comes from the
// framework DLL, so a string made in one module may be freed in another.
#pragma once

#include <cstddef>
#include <string>

#include "fw/export.h"

namespace fw {

class FW_API String {
public:
    String();
    String(const char* text); // NOLINT: implicit like a C string
    String(const char* text, size_t bytes);
    String(const std::string& text); // NOLINT
    String(const String& other);
    String(String&& other) noexcept;
    ~String();

    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;
    String& operator=(const char* text);

    // When memory runs out these keep the old text; they never throw.
    void Assign(const char* text, size_t bytes);
    void Append(const char* text, size_t bytes);
    void Clear();

    const char* c_str() const { return data_; }
    operator const char*() const { return data_; } // NOLINT: used where C strings go
    size_t size() const;
    bool empty() const { return data_[0] == '\0'; }
    std::string str() const { return std::string(data_, size()); }

    friend bool operator==(const String& a, const String& b) { return a.str() == b.str(); }
    friend bool operator==(const String& a, const char* b) { return a.str() == b; }
    friend bool operator!=(const String& a, const String& b) { return !(a == b); }

private:
    char* data_; // points just past a size header, or at the shared empty text
};

static_assert(sizeof(String) == 4, "the string is one 32-bit handle");

// Text conversions between the process ANSI code page and UTF-16.
FW_API std::wstring ToWide(const char* ansi);
FW_API std::string ToAnsi(const wchar_t* wide);
FW_API std::wstring Utf8ToWide(const std::string& utf8);
FW_API std::string WideToUtf8(const std::wstring& wide);

} // namespace fw

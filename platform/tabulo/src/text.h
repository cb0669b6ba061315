// Conversions between the texts the library's callers hand over (bytes in the process ANSI code
// page), UTF-16 (ODBC's wide calls, the dialog) and UTF-8 (SQLite). Conversions of caller input
// are strict: bytes that are not text in the code page are refused rather than replaced, so that
// two different names can never end up as the same stored name.
#pragma once

#include <string>

namespace tabulo {

// False when `ansi` holds bytes that are not valid text in the ANSI code page.
bool AnsiToWide(const char* ansi, std::wstring& wide);
// Text for messages: characters the code page lacks become '?'.
std::string WideToAnsiLossy(const std::wstring& wide);
// False when the code page cannot hold every character (a path picked in the file dialog).
bool WideToAnsiExact(const std::wstring& wide, std::string& ansi);

std::string WideToUtf8(const std::wstring& wide);
std::wstring Utf8ToWide(const std::string& utf8);

} // namespace tabulo

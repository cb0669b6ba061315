// Conversions between the ANSI code page and UTF-16 for texts that cross to and from OPC
// servers. Kept in this module on purpose: an out-of-memory exception raised inside another
// DLL could not be caught here.
#pragma once

#include <string>

namespace pelorin {

std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const wchar_t* wide); // null reads as empty

} // namespace pelorin

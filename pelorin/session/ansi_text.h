// Texts in the ANSI code page: conversions to and from UTF-16 for texts that cross to and from
// OPC servers, and scanning that respects double-byte characters. Kept in this module on
// purpose: an out-of-memory exception raised inside another DLL could not be caught here.
#pragma once

#include <string>

namespace pelorin {

std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const wchar_t* wide); // null reads as empty

// The character after the one `text` points at: two bytes on when it is the lead byte of a
// double-byte character of the ANSI code page (in code page 936 the second byte may be 0x5C,
// a backslash), one byte otherwise; never past the terminator.
const char* NextAnsiChar(const char* text);

// The first character of `text` that is the single-byte character `c`, skipping the bytes of
// double-byte characters; null when there is none.
const char* FindAnsiChar(const char* text, char c);

} // namespace pelorin

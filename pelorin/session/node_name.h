// Whether a node name means this computer, which decides between local and remote creation of
// the server object.
#pragma once

#include <string>

namespace pelorin {

// Case-insensitive for single-byte letters, byte-exact for the double-byte characters of the
// ANSI code page (whose second byte may look like a letter).
bool SameNodeName(const char* a, const char* b);

// True for an empty name, "127.0.0.1", "localhost" and the name GetComputerNameA gives into a
// 16-byte buffer; any other name, also one too long for that buffer, is remote.
bool IsLocalNode(const std::string& node);

} // namespace pelorin

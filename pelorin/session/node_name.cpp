#include "session/node_name.h"

#include <windows.h>

namespace pelorin {
namespace {

// NetBIOS names: 15 characters and the terminator.
constexpr DWORD kComputerNameBytes = 16;

char FoldAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

} // namespace

bool SameNodeName(const char* a, const char* b) {
    while (*a && *b) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*a))) {
            // Both bytes of a double-byte character compare exactly; a lead byte followed by
            // the terminator ends the comparison there.
            if (*a != *b || a[1] != b[1])
                return false;
            if (!a[1])
                return true;
            a += 2;
            b += 2;
            continue;
        }
        if (FoldAsciiLetter(*a) != FoldAsciiLetter(*b))
            return false;
        ++a;
        ++b;
    }
    return *a == *b;
}

bool IsLocalNode(const std::string& node) {
    if (node.empty() || SameNodeName(node.c_str(), "127.0.0.1") ||
        SameNodeName(node.c_str(), "localhost"))
        return true;
    char computer[kComputerNameBytes] = {};
    DWORD size = kComputerNameBytes;
    return GetComputerNameA(computer, &size) == TRUE && SameNodeName(computer, node.c_str());
}

} // namespace pelorin

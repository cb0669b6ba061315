// The name a bulk-created tag gets from its item: the item id without "." and "!", with the
// top-level branch's name replaced by its alias.
#pragma once

#include <string>

namespace pelorin {

// 1. every "." removed; 2. every "!" removed; 3. when `alias` is not empty, every occurrence of
// `branch` replaced by `alias`, left to right and without overlaps. The removal comes first, so a
// branch name holding "." or "!" no longer matches. Texts are in the ANSI code page; a match
// starts only where a character starts, never on the second byte of a double-byte character.
std::string MakeTagName(const std::string& itemId, const std::string& branch,
                        const std::string& alias);

} // namespace pelorin

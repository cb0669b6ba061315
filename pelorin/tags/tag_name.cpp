#include "tags/tag_name.h"

#include <windows.h>

namespace pelorin {

std::string MakeTagName(const std::string& itemId, const std::string& branch,
                        const std::string& alias) {
    // Neither byte occurs inside a double-byte character, so removing them bytewise is safe.
    std::string name;
    name.reserve(itemId.size());
    for (const char c : itemId)
        if (c != '.' && c != '!')
            name += c;
    if (alias.empty() || branch.empty())
        return name;
    std::string replaced;
    replaced.reserve(name.size());
    size_t at = 0;
    while (at < name.size()) {
        if (name.compare(at, branch.size(), branch) == 0) {
            replaced += alias;
            at += branch.size();
            continue;
        }
        const size_t width =
            IsDBCSLeadByte(static_cast<BYTE>(name[at])) && at + 1 < name.size() ? 2 : 1;
        replaced.append(name, at, width);
        at += width;
    }
    return replaced;
}

} // namespace pelorin

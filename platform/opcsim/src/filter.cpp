#include "filter.h"

#include <cwctype>

namespace opcsim {
namespace {

wchar_t Fold(wchar_t c) {
    return static_cast<wchar_t>(std::towupper(c));
}

// Matches one set "[...]" at pattern[p] (just after '[') against c; sets p past the ']'.
// A set without its closing ']' is taken as the literal character '['.
bool MatchSet(const std::wstring& pattern, size_t& p, wchar_t c, bool& isSet) {
    size_t q = p;
    bool negate = false;
    if (q < pattern.size() && pattern[q] == L'!') {
        negate = true;
        ++q;
    }
    bool matched = false;
    bool first = true;
    while (q < pattern.size() && (pattern[q] != L']' || first)) {
        wchar_t low = Fold(pattern[q]);
        wchar_t high = low;
        if (q + 2 < pattern.size() && pattern[q + 1] == L'-' && pattern[q + 2] != L']') {
            high = Fold(pattern[q + 2]);
            q += 2;
        }
        if (Fold(c) >= low && Fold(c) <= high)
            matched = true;
        ++q;
        first = false;
    }
    if (q >= pattern.size()) {
        isSet = false;
        return c == L'[';
    }
    isSet = true;
    p = q + 1;
    return matched != negate;
}

} // namespace

bool MatchFilter(const std::wstring& text, const std::wstring& filter) {
    if (filter.empty())
        return true;
    // Iterative matching with one backtrack point for the last '*': linear in practice.
    size_t t = 0, p = 0;
    size_t starP = std::wstring::npos, starT = 0;
    while (t < text.size()) {
        if (p < filter.size()) {
            const wchar_t f = filter[p];
            if (f == L'*') {
                starP = ++p;
                starT = t;
                continue;
            }
            bool ok = false;
            size_t next = p + 1;
            if (f == L'?') {
                ok = true;
            } else if (f == L'#') {
                ok = text[t] >= L'0' && text[t] <= L'9';
            } else if (f == L'[') {
                size_t q = p + 1;
                bool isSet = false;
                ok = MatchSet(filter, q, text[t], isSet);
                if (isSet)
                    next = q;
            } else {
                ok = Fold(f) == Fold(text[t]);
            }
            if (ok) {
                p = next;
                ++t;
                continue;
            }
        }
        if (starP == std::wstring::npos)
            return false;
        p = starP;
        t = ++starT;
    }
    while (p < filter.size() && filter[p] == L'*')
        ++p;
    return p == filter.size();
}

} // namespace opcsim

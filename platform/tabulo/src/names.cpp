#include "names.h"

#include <cwctype>

namespace tabulo {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

wchar_t AsciiUpper(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

size_t SkipBlanks(const std::wstring& text, size_t at) {
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

// Matches `word` (upper case) at `at`, ignoring case; `at` moves past it.
bool TakeWord(const std::wstring& text, size_t& at, const wchar_t* word) {
    size_t i = at;
    for (; *word; ++word, ++i) {
        if (i >= text.size() || AsciiUpper(text[i]) != *word)
            return false;
    }
    at = i;
    return true;
}

// A quoted identifier starting at `at`: the name, and `at` just past the closing quote.
bool TakeQuoted(const std::wstring& text, size_t& at, std::wstring& name) {
    const wchar_t open = text[at];
    const wchar_t close = open == L'[' ? L']' : open;
    name.clear();
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] != close) {
            name += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == close) {
            name += close; // a doubled closing quote stands for itself
            ++i;
        } else {
            at = i + 1;
            return true;
        }
    }
    return false;
}

std::wstring TrimRight(const std::wstring& text) {
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    return text.substr(0, end);
}

std::wstring Trim(const std::wstring& text) {
    const size_t begin = SkipBlanks(text, 0);
    return TrimRight(text.substr(begin));
}

} // namespace

std::wstring QuoteIdentifier(const std::wstring& name) {
    std::wstring quoted = L"\"";
    for (wchar_t c : name) {
        quoted += c;
        if (c == L'"')
            quoted += L'"';
    }
    quoted += L'"';
    return quoted;
}

bool ParseAppendQuery(const std::wstring& query, std::vector<std::wstring>& tables) {
    tables.clear();
    size_t at = SkipBlanks(query, 0);
    if (!TakeWord(query, at, L"SELECT"))
        return false;
    // "select*from" is SQL too; "selectx" is not.
    size_t next = SkipBlanks(query, at);
    if (next >= query.size() || query[next] != L'*')
        return false;
    at = SkipBlanks(query, next + 1);
    if (!TakeWord(query, at, L"FROM"))
        return false;
    next = SkipBlanks(query, at);
    if (next >= query.size())
        return false;
    const wchar_t opener = query[next];
    if (next == at && opener != L'"' && opener != L'[' && opener != L'`')
        return false;
    const std::wstring rest = query.substr(next);

    const wchar_t first = rest[0];
    if (first == L'"' || first == L'[' || first == L'`') {
        size_t end = 0;
        std::wstring name;
        if (TakeQuoted(rest, end, name)) {
            end = SkipBlanks(rest, end);
            if (end < rest.size() && rest[end] == L';')
                end = SkipBlanks(rest, end + 1);
            if (end == rest.size())
                tables.push_back(name);
        }
    }
    // Unquoted: the rest of the text is the name, as "select * from %s" puts it there.
    tables.push_back(rest);
    const std::wstring trimmed = TrimRight(rest);
    if (!trimmed.empty() && trimmed != rest)
        tables.push_back(trimmed);
    return true;
}

ColumnKind ParseColumnType(const std::wstring& type) {
    const std::wstring trimmed = Trim(type);
    size_t at = 0;
    if (TakeWord(trimmed, at, L"VARCHAR")) {
        if (at == trimmed.size())
            return ColumnKind::Text;
        // VARCHAR(n)
        size_t i = SkipBlanks(trimmed, at);
        if (i < trimmed.size() && trimmed[i] == L'(') {
            i = SkipBlanks(trimmed, i + 1);
            const size_t digits = i;
            while (i < trimmed.size() && trimmed[i] >= L'0' && trimmed[i] <= L'9')
                ++i;
            if (i > digits) {
                i = SkipBlanks(trimmed, i);
                if (i + 1 == trimmed.size() && trimmed[i] == L')')
                    return ColumnKind::Text;
            }
        }
        return ColumnKind::Other;
    }
    at = 0;
    if (TakeWord(trimmed, at, L"TEXT") && at == trimmed.size())
        return ColumnKind::Text;
    at = 0;
    if (TakeWord(trimmed, at, L"INTEGER") && at == trimmed.size())
        return ColumnKind::Integer;
    at = 0;
    if (TakeWord(trimmed, at, L"INT") && at == trimmed.size())
        return ColumnKind::Integer;
    return ColumnKind::Other;
}

bool ParseWholeNumber(const std::wstring& text, long long& value) {
    const std::wstring trimmed = Trim(text);
    size_t at = 0;
    bool negative = false;
    if (at < trimmed.size() && (trimmed[at] == L'-' || trimmed[at] == L'+'))
        negative = trimmed[at++] == L'-';
    if (at == trimmed.size())
        return false;
    // Accumulate as a negative number: its range holds the most negative value too.
    long long result = 0;
    const long long kMin = -9223372036854775807LL - 1;
    for (; at < trimmed.size(); ++at) {
        const wchar_t c = trimmed[at];
        if (c < L'0' || c > L'9')
            return false;
        const int digit = c - L'0';
        if (result < (kMin + digit) / 10)
            return false;
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == kMin)
            return false;
        result = -result;
    }
    value = result;
    return true;
}

bool IsOdbcSource(const std::wstring& source) {
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find(L';', start);
        if (end == std::wstring::npos)
            end = source.size();
        const std::wstring part = source.substr(start, end - start);
        const size_t equals = part.find(L'=');
        if (equals != std::wstring::npos) {
            std::wstring key = Trim(part.substr(0, equals));
            // Keywords are words; a key with a path in it means the whole is a file name.
            for (wchar_t c : key) {
                const bool word = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                                  (c >= L'0' && c <= L'9') || c == L' ' || c == L'_';
                if (!word)
                    return false;
            }
            for (wchar_t& c : key)
                c = AsciiUpper(c);
            if (key == L"DSN" || key == L"FILEDSN" || key == L"DRIVER")
                return true;
        }
        // Only the first part may be something else than "key=value" (a path has no ';' keys).
        if (start == 0 && equals == std::wstring::npos)
            return false;
        start = end + 1;
    }
    return false;
}

bool SameNameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

} // namespace tabulo

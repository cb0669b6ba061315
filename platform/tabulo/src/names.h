// The small grammar the library accepts from its callers: identifiers quoted for SQL, the one
// query shape that opens a table for appending, column type names, whole numbers, and the kind
// of a data-source string. Caller text is only ever parsed here, never executed as SQL.
#pragma once

#include <string>
#include <vector>

namespace tabulo {

enum class ColumnKind { Text, Integer, Other };

// `"name"` with every `"` doubled: any text names exactly itself (SQLite and standard SQL).
std::wstring QuoteIdentifier(const std::wstring& name);

// "select * from <table>" (keywords in any letter case, blanks between them). The table is
// quoted ("a""b", [a]]b] or `a``b`, optionally followed by blanks and one ';') or bare, taken as
// the rest of the text. Gives the names the text may mean, the likelier first; false when the
// text has another shape.
bool ParseAppendQuery(const std::wstring& query, std::vector<std::wstring>& tables);

// VARCHAR (also VARCHAR(n) and TEXT) and INT (also INTEGER), in any letter case; Other for
// anything else.
ColumnKind ParseColumnType(const std::wstring& type);

// Optional blanks, an optional sign, decimal digits, optional blanks; within 64 bits.
bool ParseWholeNumber(const std::wstring& text, long long& value);

// An ODBC connection string or DSN: a "DSN=", "FILEDSN=" or "DRIVER=" keyword at the start or
// after a ';' (any letter case). Anything else is a database file.
bool IsOdbcSource(const std::wstring& source);

// Letter case folded for ASCII letters only (how SQLite compares names).
bool SameNameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b);

} // namespace tabulo

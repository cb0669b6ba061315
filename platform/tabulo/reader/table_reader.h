// Reads back every table of a data source (a SQLite file or an ODBC connection string), for
// tests, benchmarks and the demo: names, column types and rows, as UTF-8. Types are spelled the
// same on both back ends for the types the library creates: TEXT and INTEGER.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tabulo {

struct ReadColumn {
    std::string name;
    std::string type;
};

struct ReadTable {
    std::string name;
    std::vector<ReadColumn> columns;
    std::vector<std::vector<std::optional<std::string>>> rows; // std::nullopt: NULL
};

struct ReadResult {
    bool ok = false;
    std::string error;
    std::vector<ReadTable> tables; // ordered by name (bytes of UTF-8)
};

// `source` as UTF-8. `onlyTable`: read just that table (empty: all of them).
ReadResult ReadTables(const std::string& source, const std::string& onlyTable = std::string());

// The table as text: a line with name and columns ("name:TYPE"), then one line per row.
std::string FormatTable(const ReadTable& table);

} // namespace tabulo

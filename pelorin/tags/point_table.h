// Point tables of one top-level branch B with prefix P: for every sub-branch S of B, a table
// named P + S with the column "DeviceName" and six columns per item I of S (I, IUNIT, ILL, ILO,
// IHI, IHH), and one row holding S and, for each item, the tag name P + S + I. Only the two
// levels below B take part: items of B itself, deeper items and nested items get no columns.
#pragma once

#include <string>
#include <vector>

#include "tabulo.h"
#include "tags/alias_file.h"
#include "tags/browse_node.h"

namespace pelorin {

constexpr const char* kDeviceNameColumn = "DeviceName";
constexpr const char* kTextColumnType = "VARCHAR";
constexpr const char* kNumberColumnType = "INT";
// The text shown when the database refuses to start a row.
constexpr const wchar_t* kAddNewFailedText = L"addnew";

struct PointField {
    std::string column;
    std::string value; // empty: the column is left unset
    const char* type;  // kTextColumnType or kNumberColumnType
};

struct PointTable {
    std::string name;
    std::vector<PointField> fields;
};

// The table of sub-branch `subBranch` with prefix `prefix`.
PointTable BuildPointTable(const BrowseNode& subBranch, const std::string& prefix);

// `name` as an SQL identifier: in double quotes, each double quote inside doubled, so that any
// name stands for exactly itself. (No byte of a double-byte character is a quote.)
std::string QuoteSqlIdentifier(const std::string& name);
// The query that opens a table for appending: select * from "<table>".
std::string SelectAllQuery(const std::string& table);

// Writes the tables of one top-level branch from its snapshot, sub-branch by sub-branch. A table
// the database will not create is told (its error text) and skipped; a recordset it will not
// open is told and the row is tried all the same; a row it will not start is told ("addnew").
void WriteBranchTables(tabulo::Database& database, const BrowseNode& snapshot,
                       const std::string& prefix, const MessageSink& show);

} // namespace pelorin

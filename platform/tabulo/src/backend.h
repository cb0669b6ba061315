// What the database object needs of a database engine. Two back ends implement it: a SQLite file
// and an ODBC connection. Names arrive here as UTF-16 and unquoted; every back end quotes them.
// A failing operation returns false and puts the engine's or driver's own text into `error`.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "names.h"

namespace tabulo {

struct ColumnInfo {
    std::wstring name;
    ColumnKind kind = ColumnKind::Text;
    int odbcType = 0; // the column's SQL data type (ODBC only)
};

struct TableInfo {
    bool exists = false;
    bool isTable = true; // false: the name belongs to a view or another kind of object
    std::vector<ColumnInfo> columns;
};

// One value per column of the prepared statement; `isNull` for an unset column.
struct FieldValue {
    bool isNull = true;
    std::wstring text;
};

// A prepared INSERT of every column of one table.
class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual bool Insert(const std::vector<FieldValue>& values, std::wstring& error) = 0;
};

// The statements both engines take in the same words, `table` quoted already (and qualified
// where the engine needs it): CREATE TABLE t ("a" TEXT, "b" INTEGER), and INSERT INTO t ("a",
// "b") VALUES (?, ?), or INSERT INTO t DEFAULT VALUES for no columns.
std::wstring CreateTableStatement(const std::wstring& table,
                                  const std::vector<ColumnInfo>& columns);
std::wstring InsertStatement(const std::wstring& table, const std::vector<ColumnInfo>& columns);

class Backend {
public:
    virtual ~Backend() = default;

    // A run is one transaction: BeginRun before the first change, then Commit or Rollback.
    virtual bool BeginRun(std::wstring& error) = 0;
    virtual bool Commit(std::wstring& error) = 0;
    virtual void Rollback() = 0;

    virtual bool LookUpTable(const std::wstring& name, TableInfo& info, std::wstring& error) = 0;
    virtual bool CreateTable(const std::wstring& name, const std::vector<ColumnInfo>& columns,
                             std::wstring& error) = 0;
    virtual std::unique_ptr<RowWriter> PrepareInsert(const std::wstring& table,
                                                     const std::vector<ColumnInfo>& columns,
                                                     std::wstring& error) = 0;

    // Whether rows can be written at all (false for a read-only database file).
    virtual bool Writable() const = 0;
    // How the engine compares names of columns (and tables).
    virtual bool SameName(const std::wstring& a, const std::wstring& b) const = 0;
    // The longest name in bytes the engine keeps whole (0: no limit), and the bytes of `name`.
    virtual size_t MaxNameBytes() const = 0;
    virtual size_t NameBytes(const std::wstring& name) const = 0;
    // True once the connection to a server broke: the open transaction is gone with it.
    virtual bool ConnectionLost() const { return false; }
};

} // namespace tabulo

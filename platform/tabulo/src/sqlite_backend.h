// A SQLite database file. Texts are stored as UTF-8; a run is one deferred transaction.
#pragma once

#include <memory>
#include <string>

#include "backend.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tabulo {

class SqliteBackend final : public Backend {
public:
    // Opens or creates the file; null with SQLite's text in `error` when it is no database.
    static std::unique_ptr<SqliteBackend> Open(const std::wstring& path, std::wstring& error);
    ~SqliteBackend() override;

    bool BeginRun(std::wstring& error) override;
    bool Commit(std::wstring& error) override;
    void Rollback() override;
    bool LookUpTable(const std::wstring& name, TableInfo& info, std::wstring& error) override;
    bool CreateTable(const std::wstring& name, const std::vector<ColumnInfo>& columns,
                     std::wstring& error) override;
    std::unique_ptr<RowWriter> PrepareInsert(const std::wstring& table,
                                             const std::vector<ColumnInfo>& columns,
                                             std::wstring& error) override;
    bool Writable() const override { return !readOnly_; }
    bool SameName(const std::wstring& a, const std::wstring& b) const override;
    size_t MaxNameBytes() const override { return 0; }
    size_t NameBytes(const std::wstring& name) const override;

private:
    explicit SqliteBackend(sqlite3* db);
    bool Execute(const char* sql, std::wstring& error);
    std::wstring Message() const;

    sqlite3* db_;
    bool readOnly_ = false;
    sqlite3_stmt* objectType_ = nullptr; // the kind of a schema object, by name
    sqlite3_stmt* columns_ = nullptr;    // the columns of a table, by name
};

} // namespace tabulo

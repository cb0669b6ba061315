// A database reached through ODBC (wide calls only: the ANSI entry points of some driver
// managers are stubs). Autocommit is off, so a run is the driver's transaction; names are
// quoted, values go in as bound parameters.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "backend.h"
#include "odbc_handles.h"

namespace tabulo {

class OdbcBackend final : public Backend {
public:
    // Connects without prompting; null with the driver's text in `error`.
    static std::unique_ptr<OdbcBackend> Connect(const std::wstring& connection,
                                                std::wstring& error);
    ~OdbcBackend() override;

    bool BeginRun(std::wstring& error) override;
    bool Commit(std::wstring& error) override;
    void Rollback() override;
    bool LookUpTable(const std::wstring& name, TableInfo& info, std::wstring& error) override;
    bool CreateTable(const std::wstring& name, const std::vector<ColumnInfo>& columns,
                     std::wstring& error) override;
    std::unique_ptr<RowWriter> PrepareInsert(const std::wstring& table,
                                             const std::vector<ColumnInfo>& columns,
                                             std::wstring& error) override;
    bool Writable() const override { return true; }
    bool SameName(const std::wstring& a, const std::wstring& b) const override { return a == b; }
    size_t MaxNameBytes() const override { return maxNameBytes_; }
    size_t NameBytes(const std::wstring& name) const override;
    bool ConnectionLost() const override { return lost_; }

    // The names of the data sources (DSNs) the driver manager knows, user and system ones.
    static std::vector<std::wstring> ListDataSources();

    // The database product's name and version, as the driver reports them.
    std::wstring ProductName() const;

    // Takes the diagnostics of a failed call on `handle`, noting a broken connection.
    std::wstring Failure(const OdbcHandle& handle);

private:
    OdbcBackend() = default;
    bool Execute(const std::wstring& sql, std::wstring& error);
    std::wstring Pattern(const std::wstring& name) const;
    bool LookUpPostgres(const std::wstring& name, TableInfo& info, std::wstring& error);
    bool LookUpByCatalog(const std::wstring& name, TableInfo& info, std::wstring& error);

    OdbcHandle environment_;
    OdbcHandle connection_;
    OdbcHandle statement_;  // for statements without parameters, one at a time
    bool postgres_ = false; // the catalog can be asked directly, as INSERT resolves names
    std::wstring escape_;   // escapes '_' and '%' in catalog patterns
    size_t maxNameBytes_ = 0;
    bool lost_ = false;
};

} // namespace tabulo

#include "sqlite_backend.h"

#include <windows.h>

#include <sqlite3.h>

#include "text.h"

namespace tabulo {
namespace {

class SqliteRowWriter final : public RowWriter {
public:
    SqliteRowWriter(sqlite3* db, sqlite3_stmt* insert, std::vector<ColumnKind> kinds)
        : db_(db), insert_(insert), kinds_(std::move(kinds)) {}
    ~SqliteRowWriter() override { sqlite3_finalize(insert_); }

    bool Insert(const std::vector<FieldValue>& values, std::wstring& error) override {
        sqlite3_reset(insert_);
        sqlite3_clear_bindings(insert_);
        for (size_t i = 0; i < values.size() && i < kinds_.size(); ++i) {
            const int index = static_cast<int>(i) + 1;
            long long number = 0;
            int rc = SQLITE_OK;
            if (values[i].isNull)
                rc = sqlite3_bind_null(insert_, index);
            else if (kinds_[i] == ColumnKind::Integer && ParseWholeNumber(values[i].text, number))
                rc = sqlite3_bind_int64(insert_, index, number);
            else {
                const std::string utf8 = WideToUtf8(values[i].text);
                rc = sqlite3_bind_text(insert_, index, utf8.data(), static_cast<int>(utf8.size()),
                                       SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK) {
                error = Utf8ToWide(sqlite3_errmsg(db_));
                return false;
            }
        }
        const int rc = sqlite3_step(insert_);
        if (rc != SQLITE_DONE) {
            error = Utf8ToWide(sqlite3_errmsg(db_));
            sqlite3_reset(insert_);
            return false;
        }
        sqlite3_reset(insert_);
        return true;
    }

private:
    sqlite3* db_;
    sqlite3_stmt* insert_;
    std::vector<ColumnKind> kinds_;
};

ColumnKind KindOfDeclaredType(const std::wstring& declared) {
    return ParseColumnType(declared);
}

bool BindName(sqlite3_stmt* statement, const std::wstring& name) {
    const std::string utf8 = WideToUtf8(name);
    return sqlite3_bind_text(statement, 1, utf8.data(), static_cast<int>(utf8.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
}

std::wstring ColumnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (!text)
        return std::wstring();
    return Utf8ToWide(std::string(reinterpret_cast<const char*>(text),
                                  static_cast<size_t>(sqlite3_column_bytes(statement, column))));
}

} // namespace

SqliteBackend::SqliteBackend(sqlite3* db) : db_(db) {}

SqliteBackend::~SqliteBackend() {
    sqlite3_finalize(objectType_);
    sqlite3_finalize(columns_);
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
}

std::unique_ptr<SqliteBackend> SqliteBackend::Open(const std::wstring& path, std::wstring& error) {
    sqlite3* db = nullptr;
    const std::string utf8 = WideToUtf8(path);
    // A write-protected file opens for reading; Writable() tells the caller. The read-only
    // attribute is honoured here too, for every user: the file system may let an administrator
    // write where Windows would not.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool protectedFile = attributes != INVALID_FILE_ATTRIBUTES &&
                               (attributes & FILE_ATTRIBUTE_READONLY) &&
                               !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    const int rc = sqlite3_open_v2(
        utf8.c_str(), &db,
        protectedFile ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        error = db ? Utf8ToWide(sqlite3_errmsg(db)) : Utf8ToWide(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<SqliteBackend> backend(new SqliteBackend(db));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 5000);
    // The file may come from anywhere: its schema may not call functions with side effects.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    backend->readOnly_ = sqlite3_db_readonly(db, "main") == 1;
    // SQLite reads the file lazily: a file that is no database fails here, not at the first
    // table.
    if (sqlite3_prepare_v2(db,
                           // By the schema's own lookup, not a scan of every object.
                           "SELECT type FROM pragma_table_list(?1) WHERE schema = 'main'", -1,
                           &backend->objectType_, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "SELECT name, type FROM pragma_table_info(?1, 'main')", -1,
                           &backend->columns_, nullptr) != SQLITE_OK ||
        !backend->Execute("SELECT count(*) FROM main.sqlite_schema", error)) {
        if (error.empty())
            error = backend->Message();
        return nullptr;
    }
    return backend;
}

std::wstring SqliteBackend::Message() const {
    return Utf8ToWide(sqlite3_errmsg(db_));
}

bool SqliteBackend::Execute(const char* sql, std::wstring& error) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = Message();
        return false;
    }
    return true;
}

bool SqliteBackend::BeginRun(std::wstring& error) {
    // Deferred: a read-only file can still be looked at within a run.
    return !sqlite3_get_autocommit(db_) || Execute("BEGIN", error);
}

bool SqliteBackend::Commit(std::wstring& error) {
    if (sqlite3_get_autocommit(db_))
        return true;
    if (Execute("COMMIT", error))
        return true;
    Rollback();
    return false;
}

void SqliteBackend::Rollback() {
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteBackend::LookUpTable(const std::wstring& name, TableInfo& info, std::wstring& error) {
    info = TableInfo();
    sqlite3_reset(objectType_);
    if (!BindName(objectType_, name)) {
        error = Message();
        return false;
    }
    int rc = sqlite3_step(objectType_);
    if (rc == SQLITE_DONE) {
        sqlite3_reset(objectType_);
        return true;
    }
    if (rc != SQLITE_ROW) {
        error = Message();
        sqlite3_reset(objectType_);
        return false;
    }
    info.exists = true;
    info.isTable = ColumnText(objectType_, 0) == L"table";
    sqlite3_reset(objectType_);
    if (!info.isTable)
        return true;

    sqlite3_reset(columns_);
    if (!BindName(columns_, name)) {
        error = Message();
        return false;
    }
    while ((rc = sqlite3_step(columns_)) == SQLITE_ROW) {
        ColumnInfo column;
        column.name = ColumnText(columns_, 0);
        column.kind = KindOfDeclaredType(ColumnText(columns_, 1));
        info.columns.push_back(column);
    }
    sqlite3_reset(columns_);
    if (rc != SQLITE_DONE) {
        error = Message();
        return false;
    }
    return true;
}

bool SqliteBackend::CreateTable(const std::wstring& name, const std::vector<ColumnInfo>& columns,
                                std::wstring& error) {
    const std::wstring sql = CreateTableStatement(L"main." + QuoteIdentifier(name), columns);
    return Execute(WideToUtf8(sql).c_str(), error);
}

std::unique_ptr<RowWriter> SqliteBackend::PrepareInsert(const std::wstring& table,
                                                        const std::vector<ColumnInfo>& columns,
                                                        std::wstring& error) {
    std::vector<ColumnKind> kinds;
    for (const ColumnInfo& column : columns)
        kinds.push_back(column.kind);
    const std::string utf8 =
        WideToUtf8(InsertStatement(L"main." + QuoteIdentifier(table), columns));
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db_, utf8.c_str(), static_cast<int>(utf8.size()), &insert, nullptr) !=
        SQLITE_OK) {
        error = Message();
        sqlite3_finalize(insert);
        return nullptr;
    }
    return std::unique_ptr<RowWriter>(new SqliteRowWriter(db_, insert, std::move(kinds)));
}

bool SqliteBackend::SameName(const std::wstring& a, const std::wstring& b) const {
    return SameNameIgnoringAsciiCase(a, b);
}

size_t SqliteBackend::NameBytes(const std::wstring& name) const {
    return WideToUtf8(name).size();
}

} // namespace tabulo

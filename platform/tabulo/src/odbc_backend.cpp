#include "odbc_backend.h"

#include "text.h"

namespace tabulo {
namespace {

SQLWCHAR* Sql(const std::wstring& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(text.c_str()));
}

std::wstring InfoText(SQLHDBC connection, SQLUSMALLINT item) {
    wchar_t buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(connection, item, buffer, sizeof buffer, &length)))
        return std::wstring();
    return buffer;
}

SQLUSMALLINT InfoShort(SQLHDBC connection, SQLUSMALLINT item) {
    SQLUSMALLINT value = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(connection, item, &value, sizeof value, nullptr)))
        return 0;
    return value;
}

// Text of column `column` of the current row; false for SQL NULL or a failure.
bool GetText(SQLHSTMT statement, SQLUSMALLINT column, std::wstring& text) {
    text.clear();
    wchar_t buffer[512];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(statement, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA)
            return false;
        const size_t capacity = sizeof buffer / sizeof buffer[0] - 1;
        if (indicator == SQL_NO_TOTAL ||
            static_cast<size_t>(indicator) / sizeof(wchar_t) > capacity) {
            text.append(buffer, capacity);
            continue; // the rest comes with the next call
        }
        text.append(buffer, static_cast<size_t>(indicator) / sizeof(wchar_t));
        return true;
    }
}

class OdbcRowWriter final : public RowWriter {
public:
    OdbcRowWriter(OdbcBackend& backend, OdbcHandle statement, std::wstring sql,
                  std::vector<ColumnInfo> columns)
        : backend_(backend), statement_(std::move(statement)), sql_(std::move(sql)),
          columns_(std::move(columns)) {}

    bool Insert(const std::vector<FieldValue>& values, std::wstring& error) override {
        SQLHSTMT statement = statement_.get();
        SQLFreeStmt(statement, SQL_RESET_PARAMS);
        // The driver reads the buffers while SQLExecute runs: they live until it returns.
        std::vector<std::wstring> texts(columns_.size());
        std::vector<SQLLEN> lengths(columns_.size());
        for (size_t i = 0; i < columns_.size(); ++i) {
            const bool isNull = i >= values.size() || values[i].isNull;
            if (!isNull)
                texts[i] = values[i].text;
            lengths[i] =
                isNull ? SQL_NULL_DATA : static_cast<SQLLEN>(texts[i].size() * sizeof(wchar_t));
            SQLSMALLINT type = static_cast<SQLSMALLINT>(columns_[i].odbcType);
            if (type == 0)
                type = columns_[i].kind == ColumnKind::Integer ? SQL_BIGINT : SQL_WVARCHAR;
            const SQLULEN size = texts[i].empty() ? 1 : texts[i].size();
            const SQLRETURN rc = SQLBindParameter(
                statement, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR, type,
                size, 0, Sql(texts[i]), lengths[i] > 0 ? lengths[i] : 0, &lengths[i]);
            if (!SQL_SUCCEEDED(rc)) {
                error = backend_.Failure(statement_);
                return false;
            }
        }
        // Executed directly: a point table takes one row, and a prepared statement would cost
        // the server a round trip more.
        const SQLRETURN rc = SQLExecDirectW(statement, Sql(sql_), SQL_NTS);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
            error = backend_.Failure(statement_);
            SQLFreeStmt(statement, SQL_CLOSE);
            return false;
        }
        SQLFreeStmt(statement, SQL_CLOSE);
        return true;
    }

private:
    OdbcBackend& backend_;
    OdbcHandle statement_;
    std::wstring sql_;
    std::vector<ColumnInfo> columns_;
};

} // namespace

std::unique_ptr<OdbcBackend> OdbcBackend::Connect(const std::wstring& connection,
                                                  std::wstring& error) {
    std::unique_ptr<OdbcBackend> backend(new OdbcBackend());
    if (!backend->environment_.Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE) ||
        !SQL_SUCCEEDED(SQLSetEnvAttr(backend->environment_.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !backend->connection_.Allocate(SQL_HANDLE_DBC, backend->environment_.get())) {
        error = ReadDiagnostics(SQL_HANDLE_ENV, backend->environment_.get()).text;
        if (error.empty())
            error = L"The ODBC driver manager could not be loaded.";
        return nullptr;
    }
    SQLHDBC dbc = backend->connection_.get();
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, Sql(connection), SQL_NTS, nullptr, 0,
                                           &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        error = ReadDiagnostics(SQL_HANDLE_DBC, dbc).text;
        // Freeing a connection handle that never connected is all that is left to do.
        return nullptr;
    }

    backend->escape_ = InfoText(dbc, SQL_SEARCH_PATTERN_ESCAPE);
    const SQLUSMALLINT tableBytes = InfoShort(dbc, SQL_MAX_TABLE_NAME_LEN);
    const SQLUSMALLINT columnBytes = InfoShort(dbc, SQL_MAX_COLUMN_NAME_LEN);
    backend->maxNameBytes_ = tableBytes && columnBytes
                                 ? (tableBytes < columnBytes ? tableBytes : columnBytes)
                                 : (tableBytes ? tableBytes : columnBytes);
    if (!backend->statement_.Allocate(SQL_HANDLE_STMT, dbc)) {
        error = ReadDiagnostics(SQL_HANDLE_DBC, dbc).text;
        return nullptr;
    }
    backend->postgres_ = InfoText(dbc, SQL_DBMS_NAME) == L"PostgreSQL";
    if (!SQL_SUCCEEDED(SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT,
                                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
        error = ReadDiagnostics(SQL_HANDLE_DBC, dbc).text;
        return nullptr;
    }
    return backend;
}

std::vector<std::wstring> OdbcBackend::ListDataSources() {
    std::vector<std::wstring> names;
    OdbcHandle environment;
    if (!environment.Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE) ||
        !SQL_SUCCEEDED(SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
        return names;
    SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLWCHAR description[256];
    SQLSMALLINT nameLength = 0, descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSourcesW(environment.get(), direction, name, SQL_MAX_DSN_LENGTH + 1,
                                         &nameLength, description, 256, &descriptionLength))) {
        names.emplace_back(reinterpret_cast<wchar_t*>(name));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

OdbcBackend::~OdbcBackend() {
    statement_.Reset();
    if (connection_.get() != SQL_NULL_HANDLE && !lost_)
        SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK);
}

std::wstring OdbcBackend::Failure(const OdbcHandle& handle) {
    OdbcDiagnostics diagnostics = ReadDiagnostics(handle.type(), handle.get());
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (diagnostics.connectionBroken ||
        (SQL_SUCCEEDED(
             SQLGetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
         dead == SQL_CD_TRUE))
        lost_ = true;
    if (diagnostics.text.empty())
        diagnostics.text = L"The ODBC driver gave no reason.";
    return diagnostics.text;
}

std::wstring OdbcBackend::ProductName() const {
    const std::wstring name = InfoText(connection_.get(), SQL_DBMS_NAME);
    const std::wstring version = InfoText(connection_.get(), SQL_DBMS_VER);
    return version.empty() ? name : name + L" " + version;
}

bool OdbcBackend::Execute(const std::wstring& sql, std::wstring& error) {
    SQLHSTMT statement = statement_.get();
    const SQLRETURN rc = SQLExecDirectW(statement, Sql(sql), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        error = Failure(statement_);
        SQLFreeStmt(statement, SQL_CLOSE);
        return false;
    }
    SQLFreeStmt(statement, SQL_CLOSE);
    return true;
}

bool OdbcBackend::BeginRun(std::wstring&) {
    return true; // with autocommit off the driver opens the transaction with the first statement
}

bool OdbcBackend::Commit(std::wstring& error) {
    if (SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_COMMIT)))
        return true;
    error = Failure(connection_);
    Rollback();
    return false;
}

void OdbcBackend::Rollback() {
    if (!lost_)
        SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK);
}

std::wstring OdbcBackend::Pattern(const std::wstring& name) const {
    if (escape_.empty())
        return name; // matches more than the name; the rows are compared exactly below
    std::wstring pattern;
    for (wchar_t c : name) {
        if (c == L'_' || c == L'%' || escape_.find(c) != std::wstring::npos)
            pattern += escape_;
        pattern += c;
    }
    return pattern;
}

bool OdbcBackend::LookUpTable(const std::wstring& name, TableInfo& info, std::wstring& error) {
    info = TableInfo();
    return postgres_ ? LookUpPostgres(name, info, error) : LookUpByCatalog(name, info, error);
}

namespace {

ColumnKind KindOfSqlType(SQLSMALLINT dataType) {
    switch (dataType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
        return ColumnKind::Integer;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
        return ColumnKind::Text;
    default:
        return ColumnKind::Other;
    }
}

} // namespace

// The relation an unqualified name means on this connection (to_regclass follows the search
// path as INSERT does), with its kind and columns: one light query with the name bound.
bool OdbcBackend::LookUpPostgres(const std::wstring& name, TableInfo& info, std::wstring& error) {
    SQLHSTMT statement = statement_.get();
    std::wstring sql =
        L"SELECT c.relkind, a.attname, t.typname FROM pg_catalog.pg_class c "
        L"LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 "
        L"AND NOT a.attisdropped LEFT JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
        L"WHERE c.oid = pg_catalog.to_regclass(pg_catalog.quote_ident(?)) ORDER BY a.attnum";
    std::wstring bound = name;
    SQLLEN length = static_cast<SQLLEN>(bound.size() * sizeof(wchar_t));
    if (!SQL_SUCCEEDED(SQLBindParameter(statement, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                                        bound.empty() ? 1 : bound.size(), 0, Sql(bound), length,
                                        &length)) ||
        !SQL_SUCCEEDED(SQLExecDirectW(statement, Sql(sql), SQL_NTS))) {
        error = Failure(statement_);
        SQLFreeStmt(statement, SQL_CLOSE);
        SQLFreeStmt(statement, SQL_RESET_PARAMS);
        return false;
    }
    SQLRETURN fetched;
    while (SQL_SUCCEEDED(fetched = SQLFetch(statement))) {
        std::wstring kind, column, type;
        GetText(statement, 1, kind);
        info.exists = true;
        // Tables and partitioned tables take rows; views, sequences and indexes do not.
        info.isTable = kind == L"r" || kind == L"p";
        if (!GetText(statement, 2, column))
            continue; // a relation without columns
        GetText(statement, 3, type);
        ColumnInfo found;
        found.name = column;
        if (type == L"int2" || type == L"int4" || type == L"int8") {
            found.kind = ColumnKind::Integer;
            found.odbcType = SQL_BIGINT;
        } else if (type == L"text" || type == L"varchar" || type == L"bpchar") {
            found.kind = ColumnKind::Text;
            found.odbcType = SQL_WVARCHAR;
        } else {
            found.kind = ColumnKind::Other;
        }
        info.columns.push_back(found);
    }
    const bool ok = fetched == SQL_NO_DATA;
    if (!ok)
        error = Failure(statement_);
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeStmt(statement, SQL_RESET_PARAMS);
    return ok;
}

// Any other product: the catalog function, the name as an escaped pattern, rows compared exactly.
bool OdbcBackend::LookUpByCatalog(const std::wstring& name, TableInfo& info, std::wstring& error) {
    SQLHSTMT statement = statement_.get();
    const std::wstring table = Pattern(name);
    const SQLRETURN rc =
        SQLColumnsW(statement, nullptr, 0, nullptr, 0, Sql(table), SQL_NTS, nullptr, 0);
    if (!SQL_SUCCEEDED(rc)) {
        error = Failure(statement_);
        SQLFreeStmt(statement, SQL_CLOSE);
        return false;
    }
    // Result columns: 3 table, 4 column, 5 SQL data type.
    SQLRETURN fetched;
    while (SQL_SUCCEEDED(fetched = SQLFetch(statement))) {
        std::wstring rowTable, column;
        GetText(statement, 3, rowTable);
        if (rowTable != name)
            continue;
        SQLSMALLINT dataType = 0;
        SQLLEN indicator = 0;
        GetText(statement, 4, column);
        SQLGetData(statement, 5, SQL_C_SSHORT, &dataType, sizeof dataType, &indicator);
        ColumnInfo found;
        found.name = column;
        found.odbcType = dataType;
        found.kind = KindOfSqlType(dataType);
        info.columns.push_back(found);
    }
    if (fetched != SQL_NO_DATA) {
        error = Failure(statement_);
        SQLFreeStmt(statement, SQL_CLOSE);
        return false;
    }
    SQLFreeStmt(statement, SQL_CLOSE);
    info.exists = !info.columns.empty();
    return true;
}

bool OdbcBackend::CreateTable(const std::wstring& name, const std::vector<ColumnInfo>& columns,
                              std::wstring& error) {
    return Execute(CreateTableStatement(QuoteIdentifier(name), columns), error);
}

std::unique_ptr<RowWriter> OdbcBackend::PrepareInsert(const std::wstring& table,
                                                      const std::vector<ColumnInfo>& columns,
                                                      std::wstring& error) {
    std::wstring sql = InsertStatement(QuoteIdentifier(table), columns);
    OdbcHandle statement;
    if (!statement.Allocate(SQL_HANDLE_STMT, connection_.get())) {
        error = Failure(connection_);
        return nullptr;
    }
    return std::unique_ptr<RowWriter>(
        new OdbcRowWriter(*this, std::move(statement), std::move(sql), columns));
}

size_t OdbcBackend::NameBytes(const std::wstring& name) const {
    return WideToUtf8(name).size();
}

} // namespace tabulo

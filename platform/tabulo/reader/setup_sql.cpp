#include "setup_sql.h"

#include <sqlite3.h>

#include "names.h"
#include "odbc_handles.h"
#include "text.h"

namespace tabulo {
namespace {

bool ExecuteSqlite(const std::string& path, const std::string& sql, std::string& error) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                              nullptr) == SQLITE_OK;
    char* message = nullptr;
    ok = ok && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok)
        error = message ? message : db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_free(message);
    sqlite3_close_v2(db);
    return ok;
}

bool ExecuteOdbc(const std::wstring& connection, const std::wstring& sql, std::string& error) {
    OdbcHandle environment, dbc, statement;
    if (!environment.Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE) ||
        !SQL_SUCCEEDED(SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !dbc.Allocate(SQL_HANDLE_DBC, environment.get())) {
        error = "no ODBC driver manager";
        return false;
    }
    std::wstring text = connection;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc.get(), nullptr, reinterpret_cast<SQLWCHAR*>(&text[0]),
                                         SQL_NTS, nullptr, 0, &length, SQL_DRIVER_NOPROMPT))) {
        error = WideToUtf8(ReadDiagnostics(SQL_HANDLE_DBC, dbc.get()).text);
        return false;
    }
    if (!statement.Allocate(SQL_HANDLE_STMT, dbc.get())) {
        error = "no statement handle";
        return false;
    }
    std::wstring script = sql;
    const SQLRETURN rc =
        SQLExecDirectW(statement.get(), reinterpret_cast<SQLWCHAR*>(&script[0]), SQL_NTS);
    const bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    if (!ok)
        error = WideToUtf8(ReadDiagnostics(SQL_HANDLE_STMT, statement.get()).text);
    return ok; // the handles disconnect and go, the statement first
}

} // namespace

bool ExecuteSql(const std::string& source, const std::string& sql, std::string& error) {
    try {
        const std::wstring wide = Utf8ToWide(source);
        if (IsOdbcSource(wide))
            return ExecuteOdbc(wide, Utf8ToWide(sql), error);
        return ExecuteSqlite(source, sql, error);
    } catch (...) {
        error = "out of memory";
        return false;
    }
}

} // namespace tabulo

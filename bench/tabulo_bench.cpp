// Point tables for 1,000 sub-branches of 4 items each (25 columns, one row per table), written
// through the database library's calls as the plug-in makes them, against the same CREATE TABLE
// and INSERT statements sent straight to the engine in one transaction: into a SQLite file and,
// when the PostgreSQL test server runs (./run bench starts it), into PostgreSQL through ODBC.
// Prints the times and their ratios; nothing is asserted.
#include <windows.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "names.h"
#include "tabulo.h"
#include "text.h"

namespace {

constexpr int kTables = 1000;
constexpr int kItems = 4;
constexpr int kRounds = 2;

struct Table {
    std::string name;
    std::vector<std::string> columns, types; // as the plug-in gives them
    std::vector<std::pair<std::string, std::string>> values;
};

std::vector<Table> PointTables() {
    std::vector<Table> tables;
    for (int t = 0; t < kTables; ++t) {
        Table table;
        const std::string sub = "Device" + std::to_string(t);
        table.name = "Channel1" + sub;
        table.columns = {"DeviceName"};
        table.types = {"VARCHAR"};
        table.values = {{"DeviceName", sub}};
        for (int i = 0; i < kItems; ++i) {
            const std::string item = "Item" + std::to_string(i);
            for (const char* suffix : {"", "UNIT", "LL", "LO", "HI", "HH"}) {
                table.columns.push_back(item + suffix);
                table.types.push_back(*suffix == 0 || suffix[0] == 'U' ? "VARCHAR" : "INT");
            }
            table.values.push_back({item, table.name + item});
        }
        tables.push_back(table);
    }
    return tables;
}

double Seconds(const std::function<bool()>& work, bool& ok) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    ok = work();
    QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // the names here are ASCII
}

// The statements the library sends for one table.
std::wstring CreateSql(const Table& table) {
    std::wstring sql = L"CREATE TABLE " + tabulo::QuoteIdentifier(Wide(table.name)) + L" (";
    for (size_t i = 0; i < table.columns.size(); ++i) {
        sql += (i ? L", " : L"") + tabulo::QuoteIdentifier(Wide(table.columns[i]));
        sql += table.types[i] == "INT" ? L" INTEGER" : L" TEXT";
    }
    return sql + L")";
}
std::wstring InsertSql(const Table& table) {
    std::wstring sql = L"INSERT INTO " + tabulo::QuoteIdentifier(Wide(table.name)) + L" (";
    std::wstring marks;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        sql += (i ? L", " : L"") + tabulo::QuoteIdentifier(Wide(table.columns[i]));
        marks += i ? L", ?" : L"?";
    }
    return sql + L") VALUES (" + marks + L")";
}
// The value of column i, or null when the plug-in sets none.
const std::string* ValueOf(const Table& table, size_t i) {
    for (const auto& value : table.values) {
        if (value.first == table.columns[i])
            return &value.second;
    }
    return nullptr;
}

bool ThroughLibrary(const std::string& source, const std::vector<Table>& tables) {
    tabulo::Database* database = CreateTabulo();
    if (!database || !database->OpenSource(fw::String(source))) {
        std::printf("  the library cannot open the source: %s\n",
                    database ? database->LastErrorText().c_str() : "no object");
        return false;
    }
    for (const Table& table : tables) {
        tabulo::StringList names, types;
        for (size_t i = 0; i < table.columns.size(); ++i) {
            names.Add(fw::String(table.columns[i]));
            types.Add(fw::String(table.types[i]));
        }
        if (!database->CreateTable(fw::String(table.name), &names, &types) ||
            !database->OpenRecordset(fw::String("select * from \"" + table.name + "\""), 1, 3, 3,
                                     1) ||
            !database->AddNew()) {
            std::printf("  %s: %s\n", table.name.c_str(), database->LastErrorText().c_str());
            return false;
        }
        for (const auto& value : table.values) {
            const fw::String text(value.second);
            database->SetFieldValue(value.first.c_str(), &text);
        }
        database->Update();
    }
    const bool finished = database->Finish() != 0;
    database->OpenSource(fw::String("")); // closes the source
    return finished;
}

bool RawSqlite(const std::string& path, const std::vector<Table>& tables) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    bool ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (size_t t = 0; ok && t < tables.size(); ++t) {
        const Table& table = tables[t];
        ok = sqlite3_exec(db, tabulo::WideToUtf8(CreateSql(table)).c_str(), nullptr, nullptr,
                          nullptr) == SQLITE_OK;
        sqlite3_stmt* insert = nullptr;
        ok = ok && sqlite3_prepare_v2(db, tabulo::WideToUtf8(InsertSql(table)).c_str(), -1, &insert,
                                      nullptr) == SQLITE_OK;
        for (size_t i = 0; ok && i < table.columns.size(); ++i) {
            if (const std::string* value = ValueOf(table, i))
                sqlite3_bind_text(insert, int(i) + 1, value->c_str(), -1, SQLITE_TRANSIENT);
        }
        ok = ok && sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_finalize(insert);
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        std::printf("  raw SQLite: %s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return ok;
}

// A bare ODBC loop: the same statements on one connection, autocommit off, one commit.
bool RawOdbc(const std::string& connection, const std::vector<Table>& tables) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT statement = SQL_NULL_HSTMT;
    std::wstring wideConnection = Wide(connection);
    SQLSMALLINT length = 0;
    bool ok = SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) &&
              SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
              SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)) &&
              SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr,
                                              reinterpret_cast<SQLWCHAR*>(&wideConnection[0]),
                                              SQL_NTS, nullptr, 0, &length, SQL_DRIVER_NOPROMPT)) &&
              SQL_SUCCEEDED(SQLSetConnectAttrW(
                  dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)) &&
              SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement));
    for (size_t t = 0; ok && t < tables.size(); ++t) {
        const Table& table = tables[t];
        std::wstring sql = CreateSql(table);
        ok =
            SQL_SUCCEEDED(SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(&sql[0]), SQL_NTS));
        SQLFreeStmt(statement, SQL_CLOSE);
        sql = InsertSql(table);
        std::vector<std::wstring> texts(table.columns.size());
        std::vector<SQLLEN> lengths(table.columns.size());
        for (size_t i = 0; ok && i < table.columns.size(); ++i) {
            const std::string* value = ValueOf(table, i);
            if (value)
                texts[i] = Wide(*value);
            lengths[i] = value ? SQLLEN(texts[i].size() * sizeof(wchar_t)) : SQL_NULL_DATA;
            SQLBindParameter(statement, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                             table.types[i] == "INT" ? SQL_BIGINT : SQL_WVARCHAR,
                             texts[i].empty() ? 1 : texts[i].size(), 0, &texts[i][0],
                             lengths[i] > 0 ? lengths[i] : 0, &lengths[i]);
        }
        ok = ok && SQL_SUCCEEDED(
                       SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(&sql[0]), SQL_NTS));
        SQLFreeStmt(statement, SQL_CLOSE);
        SQLFreeStmt(statement, SQL_RESET_PARAMS);
    }
    ok = ok && SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    if (!ok)
        std::printf("  the bare ODBC loop failed\n");
    if (statement)
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
    if (dbc) {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env)
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok;
}

std::string TempFile(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + name;
    DeleteFileA(path.c_str());
    return path;
}

// One statement on a connection of its own, committed (schemas for the PostgreSQL runs).
bool OdbcExecute(const std::string& connection, const std::string& sql) {
    std::vector<Table> none;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT statement = SQL_NULL_HSTMT;
    std::wstring wideConnection = Wide(connection), wideSql = Wide(sql);
    SQLSMALLINT length = 0;
    const bool ok =
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) &&
        SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                    reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)) &&
        SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr,
                                        reinterpret_cast<SQLWCHAR*>(&wideConnection[0]), SQL_NTS,
                                        nullptr, 0, &length, SQL_DRIVER_NOPROMPT)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement)) &&
        SQL_SUCCEEDED(SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(&wideSql[0]), SQL_NTS));
    if (statement)
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
    if (dbc) {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env)
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok;
}

void Report(const char* what, double library, double raw) {
    std::printf("%s: library %.3f s, direct %.3f s, ratio %.2f (target within 1.50)\n", what,
                library, raw, library / raw);
}

} // namespace

int main() {
    const std::vector<Table> tables = PointTables();
    std::printf("point tables: %d sub-branches of %d items, %zu columns each, best of %d runs\n",
                kTables, kItems, tables[0].columns.size(), kRounds);

    double library = 1e9, raw = 1e9;
    bool ok = true;
    for (int round = 0; round < kRounds && ok; ++round) {
        const std::string rawPath = TempFile("tabulo_bench_raw.db");
        const std::string libraryPath = TempFile("tabulo_bench_library.db");
        bool step = false;
        raw = std::min(raw, Seconds([&] { return RawSqlite(rawPath, tables); }, step));
        ok = ok && step;
        library =
            std::min(library, Seconds([&] { return ThroughLibrary(libraryPath, tables); }, step));
        ok = ok && step;
        DeleteFileA(rawPath.c_str());
        DeleteFileA(libraryPath.c_str());
    }
    if (ok)
        Report("SQLite file", library, raw);

    const char* connection = std::getenv("TABULO_TEST_ODBC");
    if (!connection || !*connection) {
        const char* why = std::getenv("TABULO_TEST_ODBC_ERROR");
        std::printf("PostgreSQL: not measured (%s)\n",
                    why && *why ? why : "no test server; ./run bench starts one");
        return ok ? 0 : 1;
    }
    library = raw = 1e9;
    for (int round = 0; round < kRounds && ok; ++round) {
        for (const char* schema : {"bench_raw", "bench_library"}) {
            ok = ok && OdbcExecute(connection, std::string("DROP SCHEMA IF EXISTS ") + schema +
                                                   " CASCADE; CREATE SCHEMA " + schema);
        }
        const std::string base = std::string(connection) + ";ConnSettings={SET search_path TO ";
        bool step = false;
        raw = std::min(raw, Seconds([&] { return RawOdbc(base + "bench_raw}", tables); }, step));
        ok = ok && step;
        library = std::min(
            library,
            Seconds([&] { return ThroughLibrary(base + "bench_library}", tables); }, step));
        ok = ok && step;
    }
    if (ok)
        Report("PostgreSQL over ODBC", library, raw);
    else
        std::printf("PostgreSQL: a run failed\n");
    return ok ? 0 : 1;
}

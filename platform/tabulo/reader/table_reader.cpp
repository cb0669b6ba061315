#include "table_reader.h"

#include <sqlite3.h>

#include <algorithm>

#include "names.h"
#include "odbc_handles.h"
#include "text.h"

namespace tabulo {
namespace {

std::string ColumnUtf8(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

ReadResult ReadSqlite(const std::string& path, const std::string& onlyTable) {
    ReadResult result;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        result.error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return result;
    }
    sqlite3_stmt* tables = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE "
                           "'sqlite\\_%' ESCAPE '\\' ORDER BY name",
                           -1, &tables, nullptr) != SQLITE_OK) {
        result.error = sqlite3_errmsg(db);
        sqlite3_close_v2(db);
        return result;
    }
    while (sqlite3_step(tables) == SQLITE_ROW) {
        ReadTable table;
        table.name = ColumnUtf8(tables, 0);
        if (!onlyTable.empty() && table.name != onlyTable)
            continue;
        sqlite3_stmt* columns = nullptr;
        sqlite3_prepare_v2(db, "SELECT name, type FROM pragma_table_info(?1)", -1, &columns,
                           nullptr);
        sqlite3_bind_text(columns, 1, table.name.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(columns) == SQLITE_ROW)
            table.columns.push_back({ColumnUtf8(columns, 0), UpperAscii(ColumnUtf8(columns, 1))});
        sqlite3_finalize(columns);

        const std::string sql = "SELECT * FROM " +
                                WideToUtf8(QuoteIdentifier(Utf8ToWide(table.name))) +
                                " ORDER BY rowid";
        sqlite3_stmt* rows = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &rows, nullptr) != SQLITE_OK) {
            result.error = sqlite3_errmsg(db);
            break;
        }
        while (sqlite3_step(rows) == SQLITE_ROW) {
            std::vector<std::optional<std::string>> row;
            for (int i = 0; i < sqlite3_column_count(rows); ++i) {
                if (sqlite3_column_type(rows, i) == SQLITE_NULL)
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(ColumnUtf8(rows, i));
            }
            table.rows.push_back(std::move(row));
        }
        sqlite3_finalize(rows);
        result.tables.push_back(std::move(table));
    }
    sqlite3_finalize(tables);
    sqlite3_close_v2(db);
    result.ok = result.error.empty();
    return result;
}

SQLWCHAR* Sql(const std::wstring& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(text.c_str()));
}

bool GetWide(SQLHSTMT statement, SQLUSMALLINT column, std::optional<std::wstring>& value) {
    std::wstring text;
    wchar_t buffer[1024];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(statement, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            value.reset();
            return true;
        }
        const size_t capacity = sizeof buffer / sizeof buffer[0] - 1;
        if (indicator == SQL_NO_TOTAL ||
            static_cast<size_t>(indicator) / sizeof(wchar_t) > capacity) {
            text.append(buffer, capacity);
            continue;
        }
        text.append(buffer, static_cast<size_t>(indicator) / sizeof(wchar_t));
        break;
    }
    value = text;
    return true;
}

std::string TypeName(SQLSMALLINT dataType, const std::wstring& typeName) {
    switch (dataType) {
    case SQL_INTEGER:
        return "INTEGER";
    case SQL_BIGINT:
        return "BIGINT";
    case SQL_SMALLINT:
        return "SMALLINT";
    default:
        return UpperAscii(WideToUtf8(typeName));
    }
}

ReadResult ReadOdbc(const std::wstring& connection, const std::string& onlyTable) {
    ReadResult result;
    OdbcHandle environment, dbc, statement;
    if (!environment.Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE) ||
        !SQL_SUCCEEDED(SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !dbc.Allocate(SQL_HANDLE_DBC, environment.get())) {
        result.error = "no ODBC driver manager";
        return result;
    }
    SQLSMALLINT outLength = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc.get(), nullptr, Sql(connection), SQL_NTS, nullptr, 0,
                                         &outLength, SQL_DRIVER_NOPROMPT))) {
        result.error = WideToUtf8(ReadDiagnostics(SQL_HANDLE_DBC, dbc.get()).text);
        return result;
    }
    if (!statement.Allocate(SQL_HANDLE_STMT, dbc.get())) {
        result.error = "no statement handle";
        return result;
    }
    // The tables of the current schema, where unqualified names land.
    std::optional<std::wstring> schema;
    std::wstring sql = L"SELECT current_schema()";
    if (SQL_SUCCEEDED(SQLExecDirectW(statement.get(), Sql(sql), SQL_NTS)) &&
        SQL_SUCCEEDED(SQLFetch(statement.get())))
        GetWide(statement.get(), 1, schema);
    SQLFreeStmt(statement.get(), SQL_CLOSE);

    std::wstring tableType = L"TABLE";
    std::vector<std::wstring> names;
    if (!SQL_SUCCEEDED(SQLTablesW(statement.get(), nullptr, 0, schema ? Sql(*schema) : nullptr,
                                  schema ? SQL_NTS : 0, nullptr, 0, Sql(tableType), SQL_NTS))) {
        result.error = WideToUtf8(ReadDiagnostics(SQL_HANDLE_STMT, statement.get()).text);
        return result;
    }
    while (SQL_SUCCEEDED(SQLFetch(statement.get()))) {
        std::optional<std::wstring> name;
        if (GetWide(statement.get(), 3, name) && name)
            names.push_back(*name);
    }
    SQLFreeStmt(statement.get(), SQL_CLOSE);

    for (const std::wstring& wideName : names) {
        ReadTable table;
        table.name = WideToUtf8(wideName);
        if (!onlyTable.empty() && table.name != onlyTable)
            continue;
        // Catalog patterns: escape the wildcards of the exact name.
        std::wstring pattern;
        for (wchar_t c : wideName) {
            if (c == L'_' || c == L'%' || c == L'\\')
                pattern += L'\\';
            pattern += c;
        }
        if (SQL_SUCCEEDED(SQLColumnsW(statement.get(), nullptr, 0, schema ? Sql(*schema) : nullptr,
                                      schema ? SQL_NTS : 0, Sql(pattern), SQL_NTS, nullptr, 0))) {
            while (SQL_SUCCEEDED(SQLFetch(statement.get()))) {
                std::optional<std::wstring> rowTable, column, typeName;
                SQLSMALLINT dataType = 0;
                SQLLEN indicator = 0;
                GetWide(statement.get(), 3, rowTable);
                GetWide(statement.get(), 4, column);
                SQLGetData(statement.get(), 5, SQL_C_SSHORT, &dataType, sizeof dataType,
                           &indicator);
                GetWide(statement.get(), 6, typeName);
                if (rowTable && *rowTable == wideName && column)
                    table.columns.push_back(
                        {WideToUtf8(*column), TypeName(dataType, typeName.value_or(L""))});
            }
        }
        SQLFreeStmt(statement.get(), SQL_CLOSE);

        sql = L"SELECT * FROM " + QuoteIdentifier(wideName);
        if (!SQL_SUCCEEDED(SQLExecDirectW(statement.get(), Sql(sql), SQL_NTS))) {
            result.error = WideToUtf8(ReadDiagnostics(SQL_HANDLE_STMT, statement.get()).text);
            return result;
        }
        SQLSMALLINT count = 0;
        SQLNumResultCols(statement.get(), &count);
        while (SQL_SUCCEEDED(SQLFetch(statement.get()))) {
            std::vector<std::optional<std::string>> row;
            for (SQLSMALLINT i = 1; i <= count; ++i) {
                std::optional<std::wstring> value;
                GetWide(statement.get(), static_cast<SQLUSMALLINT>(i), value);
                row.emplace_back(value ? std::optional<std::string>(WideToUtf8(*value))
                                       : std::nullopt);
            }
            table.rows.push_back(std::move(row));
        }
        SQLFreeStmt(statement.get(), SQL_CLOSE);
        result.tables.push_back(std::move(table));
    }
    SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_ROLLBACK);
    std::sort(result.tables.begin(), result.tables.end(),
              [](const ReadTable& a, const ReadTable& b) { return a.name < b.name; });
    result.ok = true;
    return result;
}

} // namespace

ReadResult ReadTables(const std::string& source, const std::string& onlyTable) {
    const std::wstring wide = Utf8ToWide(source);
    if (IsOdbcSource(wide))
        return ReadOdbc(wide, onlyTable);
    return ReadSqlite(source, onlyTable);
}

std::string FormatTable(const ReadTable& table) {
    std::string text = "table \"" + table.name + "\" columns";
    for (const ReadColumn& column : table.columns)
        text += " \"" + column.name + ":" + column.type + "\"";
    text += " rows " + std::to_string(table.rows.size()) + "\n";
    for (size_t r = 0; r < table.rows.size(); ++r) {
        text += "  row " + std::to_string(r + 1) + ":";
        for (size_t i = 0; i < table.rows[r].size(); ++i) {
            const std::string name = i < table.columns.size() ? table.columns[i].name : "?";
            const auto& value = table.rows[r][i];
            text += " \"" + name + "\"=" + (value ? "\"" + *value + "\"" : std::string("NULL"));
        }
        text += "\n";
    }
    return text;
}

} // namespace tabulo

#include "test_support.h"

#include <windows.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdlib>

namespace tabulo_test {
namespace {

std::wstring Wide(const std::string& utf8) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], size);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                        nullptr, nullptr);
    return text;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string TestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    std::string clean;
    for (char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            clean += c;
        else if (c >= 'A' && c <= 'Z')
            clean += static_cast<char>(c - 'A' + 'a');
        else
            clean += '_';
    }
    return clean.substr(0, 50);
}

// One ODBC statement on a connection of its own, autocommit; rows go to `onRow`.
template <class OnRow>
bool OdbcRun(const std::string& connection, const std::string& sql, std::string* error,
             OnRow onRow) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT statement = SQL_NULL_HSTMT;
    bool ok = false;
    std::wstring wideConnection = Wide(connection), wideSql = Wide(sql);
    auto fail = [&](SQLSMALLINT type, SQLHANDLE handle) {
        SQLWCHAR state[6], message[1024];
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (error &&
            SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &length)))
            *error = Utf8(reinterpret_cast<wchar_t*>(message));
    };
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) &&
        SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                    reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr,
                                             reinterpret_cast<SQLWCHAR*>(&wideConnection[0]),
                                             SQL_NTS, nullptr, 0, &length, SQL_DRIVER_NOPROMPT))) {
            fail(SQL_HANDLE_DBC, dbc);
        } else {
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement);
            const SQLRETURN rc =
                SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(&wideSql[0]), SQL_NTS);
            if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
                fail(SQL_HANDLE_STMT, statement);
            } else {
                ok = true;
                SQLSMALLINT columns = 0;
                SQLNumResultCols(statement, &columns);
                while (columns > 0 && SQL_SUCCEEDED(SQLFetch(statement))) {
                    wchar_t buffer[4096];
                    SQLLEN indicator = 0;
                    SQLGetData(statement, 1, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
                    onRow(indicator == SQL_NULL_DATA ? std::string("NULL")
                                                     : Utf8(std::wstring(buffer)));
                }
            }
            SQLFreeHandle(SQL_HANDLE_STMT, statement);
            SQLDisconnect(dbc);
        }
    }
    if (dbc)
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env)
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok;
}

template <class OnRow>
bool SqliteRun(const std::string& path, const std::string& sql, std::string* error, OnRow onRow) {
    sqlite3* db = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        const char* rest = sql.c_str();
        ok = true;
        while (ok && *rest) {
            if (sqlite3_prepare_v2(db, rest, -1, &statement, &rest) != SQLITE_OK) {
                ok = false;
                break;
            }
            if (!statement)
                break;
            int rc;
            while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(statement, 0);
                onRow(text ? std::string(reinterpret_cast<const char*>(text)) : "NULL");
            }
            ok = rc == SQLITE_DONE;
            sqlite3_finalize(statement);
        }
    }
    if (!ok && error)
        *error = db ? sqlite3_errmsg(db) : "cannot open";
    sqlite3_close_v2(db);
    return ok;
}

} // namespace

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Sqlite ? "Sqlite" : "Postgres";
}

bool OdbcServerAvailable(std::string& why) {
    if (!Environment("TABULO_TEST_ODBC").empty())
        return true;
    why = Environment("TABULO_TEST_ODBC_ERROR");
    if (why.empty())
        why = "TABULO_TEST_ODBC is not set: run the tests through ./run test, which starts the "
              "PostgreSQL test server";
    return false;
}

std::string OdbcSourceWith(const std::string& key, const std::string& value) {
    std::string result;
    std::string source = Environment("TABULO_TEST_ODBC");
    size_t start = 0;
    while (start < source.size()) {
        size_t end = source.find(';', start);
        if (end == std::string::npos)
            end = source.size();
        const std::string part = source.substr(start, end - start);
        if (_strnicmp(part.c_str(), (key + "=").c_str(), key.size() + 1) == 0)
            result += key + "=" + value + ";";
        else if (!part.empty())
            result += part + ";";
        start = end + 1;
    }
    return result;
}

TestSource::TestSource(Engine engine) : engine_(engine) {
    const std::string name = TestName();
    if (engine == Engine::Sqlite) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        source_ =
            Utf8(folder) + "tabulo_" + name + "_" + std::to_string(GetCurrentProcessId()) + ".db";
        SetFileAttributesW(Wide(source_).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(Wide(source_).c_str());
        ready_ = true;
        return;
    }
    std::string why;
    if (!OdbcServerAvailable(why)) {
        ADD_FAILURE() << "no PostgreSQL test server: " << why;
        return;
    }
    schema_ = "t_" + name;
    const std::string base = Environment("TABULO_TEST_ODBC");
    std::string error;
    if (!OdbcRun(base,
                 "DROP SCHEMA IF EXISTS \"" + schema_ + "\" CASCADE; CREATE SCHEMA \"" + schema_ +
                     "\"",
                 &error, [](const std::string&) {})) {
        ADD_FAILURE() << "cannot make the schema " << schema_ << ": " << error;
        return;
    }
    // Only the test's schema is on the path: unqualified names land there and nowhere else.
    source_ = base + ";ConnSettings={SET search_path TO \"" + schema_ + "\"}";
    ready_ = true;
}

bool TestSource::Execute(const std::string& sql, std::string* error) const {
    auto ignore = [](const std::string&) {};
    return engine_ == Engine::Sqlite ? SqliteRun(source_, sql, error, ignore)
                                     : OdbcRun(source_, sql, error, ignore);
}

std::string TestSource::QueryOne(const std::string& sql) const {
    std::string first;
    bool have = false;
    auto take = [&](const std::string& value) {
        if (!have)
            first = value;
        have = true;
    };
    std::string error;
    const bool ok = engine_ == Engine::Sqlite ? SqliteRun(source_, sql, &error, take)
                                              : OdbcRun(source_, sql, &error, take);
    EXPECT_TRUE(ok) << sql << ": " << error;
    return first;
}

tabulo::ReadResult TestSource::Read(const std::string& onlyTable) const {
    tabulo::ReadResult result = tabulo::ReadTables(source_, onlyTable);
    EXPECT_TRUE(result.ok) << result.error;
    return result;
}

const tabulo::ReadTable* TestSource::Table(const tabulo::ReadResult& result,
                                           const std::string& name) const {
    for (const tabulo::ReadTable& table : result.tables) {
        if (table.name == name)
            return &table;
    }
    ADD_FAILURE() << "no table \"" << name << "\" in the database";
    return nullptr;
}

std::vector<std::string> TestSource::TableNames() const {
    std::vector<std::string> names;
    for (const tabulo::ReadTable& table : Read().tables)
        names.push_back(table.name);
    return names;
}

std::string Ansi(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, &usedDefault);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                        nullptr, &usedDefault);
    EXPECT_FALSE(usedDefault) << "code page " << GetACP() << " lacks characters of " << utf8;
    return text;
}

void Fill(StringList& list, const std::vector<std::string>& texts) {
    list.RemoveAll();
    for (const std::string& text : texts)
        list.Add(fw::String(text));
}

void BuildPointTable(const std::vector<std::string>& items, PointTableLists& lists) {
    std::vector<std::string> names = {"DeviceName"}, types = {"VARCHAR"};
    for (const std::string& item : items) {
        const char* suffixes[6] = {"", "UNIT", "LL", "LO", "HI", "HH"};
        for (int i = 0; i < 6; ++i) {
            names.push_back(item + suffixes[i]);
            types.push_back(i < 2 ? "VARCHAR" : "INT");
        }
    }
    Fill(lists.names, names);
    Fill(lists.types, types);
}

std::string WritePointTable(TabuloCalls& calls, const std::string& table,
                            const std::vector<std::string>& items, const std::string& prefix,
                            const std::string& subBranch) {
    PointTableLists lists;
    BuildPointTable(items, lists);
    if (!calls.CreateTable(table, &lists.names, &lists.types))
        return "CreateTable";
    if (!calls.OpenRecordset("select * from " + table))
        return "OpenRecordset";
    if (!calls.AddNew())
        return "AddNew";
    const fw::String device(subBranch);
    if (!calls.SetFieldValue("DeviceName", &device))
        return "SetFieldValue DeviceName";
    for (const std::string& item : items) {
        const fw::String value(prefix + subBranch + item);
        if (!calls.SetFieldValue(item.c_str(), &value))
            return "SetFieldValue " + item;
    }
    if (!calls.Update())
        return "Update";
    return "";
}

} // namespace tabulo_test

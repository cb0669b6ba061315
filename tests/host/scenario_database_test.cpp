// The database of a scenario's point tables: a new file in the output folder (read-only when
// asked), or a schema of the scenario's own on the test PostgreSQL server that starts empty and
// is gone when the host ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "fw/string.h"
#include "scenario_database.h"
#include "setup_sql.h"
#include "table_reader.h"

namespace {

std::wstring TempFolder() {
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    std::wstring folder = path;
    return folder.substr(0, folder.size() - 1); // without the last backslash
}

std::vector<std::string> Tables(const std::string& source) {
    std::vector<std::string> names;
    const tabulo::ReadResult result = tabulo::ReadTables(source);
    EXPECT_TRUE(result.ok) << result.error;
    for (const tabulo::ReadTable& table : result.tables)
        names.push_back(table.name);
    return names;
}

TEST(ScenarioDatabase, AFileStartsAnewAndCanBeWriteProtected) {
    const std::string name = "scenario-db-" + std::to_string(GetCurrentProcessId()) + ".db";
    const std::wstring path = TempFolder() + L"\\" + fw::Utf8ToWide(name);
    std::string why;
    {
        host::ScenarioDatabase database;
        ASSERT_TRUE(
            database.Prepare(TempFolder(), name, "x.scn", "CREATE TABLE a (x TEXT);", false, why))
            << why;
        EXPECT_FALSE(database.IsOdbc());
        EXPECT_EQ(fw::WideToUtf8(path), database.Source());
        EXPECT_EQ(std::vector<std::string>{"a"}, Tables(database.Source()));
    }
    // The next run's file is a new one, even over a write-protected file of an earlier run.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    host::ScenarioDatabase again;
    ASSERT_TRUE(again.Prepare(TempFolder(), name, "x.scn", "", true, why)) << why;
    EXPECT_TRUE(again.Exists());
    EXPECT_NE(0u, GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(Tables(again.Source()).empty());
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

TEST(ScenarioDatabase, APostgresScenarioHasAnEmptySchemaOfItsOwnAndLeavesNothing) {
    char server[2048] = {};
    ASSERT_NE(0u, GetEnvironmentVariableA("TABULO_TEST_ODBC", server, sizeof server))
        << "no PostgreSQL test server (./run test starts one)";
    std::string why, schema;
    for (int round = 0; round < 2; ++round) {
        auto database = std::make_unique<host::ScenarioDatabase>();
        database->SetTarget("postgres");
        // The second round reuses the name: it must not find the first round's table.
        const std::string seed = round == 0 ? "CREATE TABLE a (x TEXT)" : "";
        ASSERT_TRUE(database->Prepare(TempFolder(), "points.db", "Z:\\s\\points_Odd-Name.scn", seed,
                                      false, why))
            << why;
        ASSERT_TRUE(database->IsOdbc());
        EXPECT_EQ(round == 0 ? std::vector<std::string>{"a"} : std::vector<std::string>{},
                  Tables(database->Source()));
        const std::string& source = database->Source();
        const size_t at = source.find("search_path TO \"");
        ASSERT_NE(std::string::npos, at);
        schema = source.substr(at + 16, source.find('"', at + 16) - at - 16);
        EXPECT_EQ(0u, schema.find("scn_points_odd_name_"));
        database.reset();
        // Gone: nothing can be made in it any more.
        EXPECT_FALSE(
            tabulo::ExecuteSql(server, "CREATE TABLE \"" + schema + "\".probe (x INT)", why));
    }
    host::ScenarioDatabase readOnly;
    readOnly.SetTarget("postgres");
    EXPECT_FALSE(readOnly.Prepare(TempFolder(), "points.db", "x.scn", "", true, why));
    EXPECT_EQ("a read-only database is a file", why);
}

} // namespace

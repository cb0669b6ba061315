// What the database library's tests share: the two back ends as data sources (a new SQLite file,
// or the test PostgreSQL server in a schema of the test's own), SQL run beside the library, the
// point-table lists as the plug-in builds them, and text in the host's code page.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "table_reader.h"
#include "tabulo_calls.h"

namespace tabulo_test {

enum class Engine { Sqlite, Postgres };

std::string EngineName(const ::testing::TestParamInfo<Engine>& info);

// A source of its own for the running test: a new SQLite file in the temporary folder, or the
// test server's connection string with an empty schema named after the test as the only one on
// its search path. Fails the test with the reason when the test server is not there.
class TestSource {
public:
    explicit TestSource(Engine engine);
    bool ready() const { return ready_; }
    Engine engine() const { return engine_; }
    const std::string& source() const { return source_; } // ASCII
    const std::string& schema() const { return schema_; }

    // Runs SQL (UTF-8) beside the library, committed at once; false with the reason.
    bool Execute(const std::string& sql, std::string* error = nullptr) const;
    // The first column of the first row as UTF-8, "NULL" for NULL, "" when there is no row.
    std::string QueryOne(const std::string& sql) const;
    tabulo::ReadResult Read(const std::string& onlyTable = std::string()) const;
    // The table as read back, or null (after a failed expectation) when it is missing.
    const tabulo::ReadTable* Table(const tabulo::ReadResult& result, const std::string& name) const;
    std::vector<std::string> TableNames() const;

private:
    Engine engine_;
    bool ready_ = false;
    std::string source_;
    std::string schema_;
};

// The test server's connection string with a replaced password or port, for failures.
std::string OdbcSourceWith(const std::string& key, const std::string& value);
bool OdbcServerAvailable(std::string& why);

// UTF-8 text in the host's ANSI code page (the test fails when the code page lacks it).
std::string Ansi(const std::string& utf8);

// The two lists the plug-in gives CreateTable for one sub-branch: DeviceName, then per item I
// the columns I, IUNIT, ILL, ILO, IHI, IHH with their types.
struct PointTableLists {
    StringList names;
    StringList types;
};
void BuildPointTable(const std::vector<std::string>& items, PointTableLists& lists);

// The plug-in's calls for one table and its one row: CreateTable, OpenRecordset, AddNew,
// SetFieldValue per value, Update. Returns the first call that failed ("" when none did).
std::string WritePointTable(TabuloCalls& calls, const std::string& table,
                            const std::vector<std::string>& items, const std::string& prefix,
                            const std::string& subBranch);

// Fills a list from texts.
void Fill(StringList& list, const std::vector<std::string>& texts);

} // namespace tabulo_test

// The library's operations as the plug-in calls them, by position, on both back ends: the same
// tables and rows must come back from a SQLite file and from the PostgreSQL test server.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace tabulo_test {
namespace {

class PointTables : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        source_.reset(new TestSource(GetParam()));
        ASSERT_TRUE(source_->ready());
        object_ = CreateTabuloObject();
        ASSERT_NE(nullptr, object_);
        calls_.reset(new TabuloCalls(object_));
        ASSERT_EQ(1, calls_->OpenSource(source_->source())) << calls_->LastErrorText();
    }
    void TearDown() override {
        if (calls_)
            calls_->OpenSource(""); // leaves nothing open for the next test in this process
    }
    bool Has(const std::string& name) {
        const std::vector<std::string> names = source_->TableNames();
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    std::unique_ptr<TestSource> source_;
    void* object_ = nullptr;
    std::unique_ptr<TabuloCalls> calls_;
};

INSTANTIATE_TEST_SUITE_P(Engines, PointTables, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         EngineName);

TEST_P(PointTables, SubBranchGivesItsTableColumnsTypesAndOneRow) {
    ASSERT_EQ("", WritePointTable(*calls_, "CH1Device1", {"Temp", "Press"}, "CH1", "Device1"));
    ASSERT_EQ(1, calls_->Finish()) << calls_->LastErrorText();

    const tabulo::ReadResult result = source_->Read();
    const tabulo::ReadTable* table = source_->Table(result, "CH1Device1");
    ASSERT_NE(nullptr, table);
    const char* expected[13][2] = {
        {"DeviceName", "TEXT"}, {"Temp", "TEXT"},       {"TempUNIT", "TEXT"},
        {"TempLL", "INTEGER"},  {"TempLO", "INTEGER"},  {"TempHI", "INTEGER"},
        {"TempHH", "INTEGER"},  {"Press", "TEXT"},      {"PressUNIT", "TEXT"},
        {"PressLL", "INTEGER"}, {"PressLO", "INTEGER"}, {"PressHI", "INTEGER"},
        {"PressHH", "INTEGER"}};
    ASSERT_EQ(13u, table->columns.size());
    for (size_t i = 0; i < 13; ++i) {
        EXPECT_EQ(expected[i][0], table->columns[i].name) << "column " << i;
        EXPECT_EQ(expected[i][1], table->columns[i].type) << "column " << i;
    }
    ASSERT_EQ(1u, table->rows.size());
    const auto& row = table->rows[0];
    EXPECT_EQ("Device1", row[0].value_or("NULL"));
    EXPECT_EQ("CH1Device1Temp", row[1].value_or("NULL"));
    EXPECT_EQ("CH1Device1Press", row[7].value_or("NULL"));
    for (size_t i : {2u, 3u, 4u, 5u, 6u, 8u, 9u, 10u, 11u, 12u})
        EXPECT_FALSE(row[i].has_value()) << "unset column " << expected[i][0] << " is NULL";
}

TEST_P(PointTables, SubBranchWithoutItemsHasOnlyDeviceName) {
    ASSERT_EQ("", WritePointTable(*calls_, "Channel1Empty", {}, "Channel1", "Empty"));
    ASSERT_EQ(1, calls_->Finish());
    const tabulo::ReadResult result = source_->Read("Channel1Empty");
    const tabulo::ReadTable* table = source_->Table(result, "Channel1Empty");
    ASSERT_NE(nullptr, table);
    ASSERT_EQ(1u, table->columns.size());
    ASSERT_EQ(1u, table->rows.size());
    EXPECT_EQ("Empty", table->rows[0][0].value_or("NULL"));
}

TEST_P(PointTables, SecondRunFindsTheTableAndAddsItsRowAgain) {
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ("", WritePointTable(*calls_, "Channel1Device1", {"Temp"}, "Channel1", "Device1"))
            << "run " << run << ": " << calls_->LastErrorText();
        ASSERT_EQ(1, calls_->Finish());
    }
    const tabulo::ReadResult result = source_->Read("Channel1Device1");
    const tabulo::ReadTable* table = source_->Table(result, "Channel1Device1");
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(7u, table->columns.size());
    ASSERT_EQ(2u, table->rows.size());
    EXPECT_EQ(table->rows[0], table->rows[1]);
}

TEST_P(PointTables, NothingIsVisibleToOthersUntilFinish) {
    ASSERT_EQ("", WritePointTable(*calls_, "Pending", {"A"}, "P", "S"));
    // Another connection sees the database as it was before the run.
    EXPECT_TRUE(source_->Read().tables.empty());
    ASSERT_EQ(1, calls_->Finish());
    EXPECT_TRUE(Has("Pending"));
}

TEST_P(PointTables, ChineseNamesAndValuesAreStoredAsWhatTheyMean) {
    ASSERT_EQ(936u, GetACP()) << "the tests run in the host's code page";
    const std::string table = u8"通道1设备一", item = u8"温度", prefix = u8"通道1";
    ASSERT_EQ("",
              WritePointTable(*calls_, Ansi(table), {Ansi(item)}, Ansi(prefix), Ansi(u8"设备一")))
        << calls_->LastErrorText();
    ASSERT_EQ(1, calls_->Finish());

    const tabulo::ReadResult result = source_->Read();
    const tabulo::ReadTable* read = source_->Table(result, table);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(item, read->columns[1].name);
    EXPECT_EQ(item + "UNIT", read->columns[2].name);
    ASSERT_EQ(1u, read->rows.size());
    EXPECT_EQ(u8"设备一", read->rows[0][0].value_or("NULL"));
    EXPECT_EQ(prefix + u8"设备一" + item, read->rows[0][1].value_or("NULL"));

    // What the engine holds, byte for byte: UTF-8 (not the host's code page passed through).
    const std::string quotedTable = "\"" + table + "\"", quotedItem = "\"" + item + "\"";
    const std::string hex =
        source_->engine() == Engine::Sqlite
            ? source_->QueryOne("SELECT hex(" + quotedItem + ") FROM " + quotedTable)
            : source_->QueryOne("SELECT upper(encode(convert_to(" + quotedItem +
                                ", 'UTF8'), 'hex')) FROM " + quotedTable);
    EXPECT_EQ("E9809AE9819331E8AEBEE5A487E4B880E6B8A9E5BAA6", hex); // 通道1设备一温度
}

TEST_P(PointTables, HostileNamesCreateExactlyTheirOwnTables) {
    ASSERT_TRUE(source_->Execute("CREATE TABLE victim (x TEXT)"));
    ASSERT_TRUE(source_->Execute("INSERT INTO victim VALUES ('kept')"));
    const std::vector<std::string> hostile = {
        "a\"b", "x]y",  "sp ace",    "t; DROP TABLE victim; --", "r'); DROP TABLE victim;--",
        "[br]", "`bt`", "\"quoted\""};
    for (const std::string& name : hostile) {
        PointTableLists lists;
        BuildPointTable({"i\"1", "c'2", "d ]3"}, lists);
        ASSERT_EQ(1, calls_->CreateTable(name, &lists.names, &lists.types))
            << name << ": " << calls_->LastErrorText();
        // The plug-in's bare query and a quoted one open the same table.
        std::string quoted = "\"";
        for (char c : name)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        quoted += "\"";
        for (const std::string& query : {"select * from " + name, "SELECT * FROM " + quoted}) {
            ASSERT_EQ(1, calls_->OpenRecordset(query)) << query << ": " << calls_->LastErrorText();
            ASSERT_EQ(1, calls_->AddNew());
            const fw::String value(name);
            ASSERT_EQ(1, calls_->SetFieldValue("i\"1", &value)) << calls_->LastErrorText();
            ASSERT_EQ(1, calls_->Update()) << calls_->LastErrorText();
        }
    }
    ASSERT_EQ(1, calls_->Finish());

    std::vector<std::string> expected = hostile;
    expected.push_back("victim");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, source_->TableNames());
    EXPECT_EQ("kept", source_->QueryOne("SELECT x FROM victim"));
    for (const std::string& name : hostile) {
        const tabulo::ReadResult result = source_->Read(name);
        const tabulo::ReadTable* table = source_->Table(result, name);
        ASSERT_NE(nullptr, table);
        ASSERT_EQ(19u, table->columns.size());
        EXPECT_EQ("i\"1", table->columns[1].name);
        EXPECT_EQ("c'2", table->columns[7].name);
        EXPECT_EQ("d ]3", table->columns[13].name);
        ASSERT_EQ(2u, table->rows.size());
        EXPECT_EQ(name, table->rows[1][1].value_or("NULL"));
    }
}

TEST_P(PointTables, OpenRecordsetRunsNoOtherQuery) {
    ASSERT_TRUE(source_->Execute("CREATE TABLE victim (x TEXT)"));
    ASSERT_TRUE(source_->Execute("INSERT INTO victim VALUES ('kept')"));
    for (const char* query :
         {"delete from victim", "select x from victim", "select * from victim; delete from victim",
          "select * from victim where 1 = 1", "drop table victim", "select * from \"victim",
          "select * from"}) {
        EXPECT_EQ(0, calls_->OpenRecordset(query)) << query;
        EXPECT_FALSE(calls_->LastErrorText().empty());
        EXPECT_EQ(0, calls_->AddNew()) << "no recordset after " << query;
    }
    EXPECT_EQ(0, calls_->OpenRecordset("select * from victim", 1, 2, 3, 4));
    EXPECT_EQ(0, calls_->AddNew());
    ASSERT_EQ(1, calls_->Finish());
    EXPECT_EQ("1", source_->QueryOne("SELECT count(*) FROM victim"));
}

TEST_P(PointTables, FailedOpenRecordsetLeavesNoRowsForThePreviousTable) {
    ASSERT_EQ("", WritePointTable(*calls_, "First", {"A"}, "P", "S"));
    EXPECT_EQ(0, calls_->OpenRecordset("select * from Missing"));
    EXPECT_NE(std::string::npos, calls_->LastErrorText().find("Missing"));
    EXPECT_EQ(0, calls_->AddNew());
    const fw::String value("x");
    EXPECT_EQ(0, calls_->SetFieldValue("DeviceName", &value));
    EXPECT_EQ(0, calls_->Update());
    ASSERT_EQ(1, calls_->Finish());
    const tabulo::ReadResult result = source_->Read("First");
    const tabulo::ReadTable* table = source_->Table(result, "First");
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(1u, table->rows.size());
}

TEST_P(PointTables, AddNewWithoutRecordsetFails) {
    EXPECT_EQ(0, calls_->AddNew());
    const std::string text = calls_->LastErrorText();
    EXPECT_NE(std::string::npos, text.find("OpenRecordset")) << text;
    EXPECT_EQ(0, calls_->Update());
    EXPECT_EQ(1, calls_->Finish());
}

TEST_P(PointTables, TableWithOtherColumnsIsRefusedAndKeptAsItWas) {
    ASSERT_TRUE(source_->Execute("CREATE TABLE \"Legacy\" (\"DeviceName\" TEXT, \"Old\" TEXT)"));
    ASSERT_TRUE(source_->Execute("INSERT INTO \"Legacy\" VALUES ('d', 'o')"));
    PointTableLists lists;
    BuildPointTable({"Temp"}, lists);
    EXPECT_EQ(0, calls_->CreateTable("Legacy", &lists.names, &lists.types));
    const std::string text = calls_->LastErrorText();
    EXPECT_NE(std::string::npos, text.find("Legacy")) << text;
    EXPECT_NE(std::string::npos, text.find("TempUNIT")) << text;
    ASSERT_EQ(1, calls_->Finish());
    const tabulo::ReadResult result = source_->Read("Legacy");
    const tabulo::ReadTable* table = source_->Table(result, "Legacy");
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(2u, table->columns.size());
    EXPECT_EQ(1u, table->rows.size());
}

TEST_P(PointTables, BadValuesAndUnknownColumnsStoreNoRow) {
    PointTableLists lists;
    BuildPointTable({"Temp"}, lists);
    ASSERT_EQ(1, calls_->CreateTable("Values1", &lists.names, &lists.types));
    ASSERT_EQ(1, calls_->OpenRecordset("select * from Values1"));

    const fw::String device("D"), word("high"), number(" -42 ");
    ASSERT_EQ(1, calls_->AddNew());
    EXPECT_EQ(1, calls_->SetFieldValue("DeviceName", &device));
    EXPECT_EQ(0, calls_->SetFieldValue("TempHI", &word));
    EXPECT_NE(std::string::npos, calls_->LastErrorText().find("high"));
    EXPECT_EQ(0, calls_->Update());
    EXPECT_NE(std::string::npos, calls_->LastErrorText().find("Values1"));

    ASSERT_EQ(1, calls_->AddNew());
    EXPECT_EQ(0, calls_->SetFieldValue("Nowhere", &device));
    EXPECT_EQ(0, calls_->Update());

    ASSERT_EQ(1, calls_->AddNew());
    EXPECT_EQ(1, calls_->SetFieldValue("DeviceName", &device));
    EXPECT_EQ(1, calls_->SetFieldValue("TempHI", &number));
    EXPECT_EQ(1, calls_->Update()) << calls_->LastErrorText();
    EXPECT_EQ(0, calls_->Update()) << "a row is stored once";
    ASSERT_EQ(1, calls_->Finish());

    EXPECT_EQ("1", source_->QueryOne("SELECT count(*) FROM \"Values1\""));
    EXPECT_EQ("-42", source_->QueryOne("SELECT \"TempHI\" FROM \"Values1\""));
}

TEST_P(PointTables, CreateTableRefusesBadListsAndCreatesNothing) {
    PointTableLists good;
    BuildPointTable({"A"}, good);
    StringList shorter, empty, badType, duplicate, blank;
    Fill(shorter, {"VARCHAR"});
    Fill(badType, {"VARCHAR", "FLOAT); DROP TABLE x; --"});
    Fill(duplicate, {"DeviceName", "DeviceName"});
    Fill(blank, {"DeviceName", ""});
    StringList twoTypes;
    Fill(twoTypes, {"VARCHAR", "VARCHAR"});
    StringList twoNames;
    Fill(twoNames, {"DeviceName", "A"});

    EXPECT_EQ(0, calls_->CreateTable("Bad", nullptr, &good.types));
    EXPECT_EQ(0, calls_->CreateTable("Bad", &good.names, nullptr));
    EXPECT_EQ(0, calls_->CreateTable("Bad", &good.names, &shorter));
    EXPECT_EQ(0, calls_->CreateTable("Bad", &empty, &empty));
    EXPECT_EQ(0, calls_->CreateTable("Bad", &twoNames, &badType));
    EXPECT_NE(std::string::npos, calls_->LastErrorText().find("FLOAT"));
    EXPECT_EQ(0, calls_->CreateTable("Bad", &duplicate, &twoTypes));
    EXPECT_EQ(0, calls_->CreateTable("Bad", &blank, &twoTypes));
    EXPECT_EQ(0, calls_->CreateTable("", &good.names, &good.types));
    ASSERT_EQ(1, calls_->Finish());
    EXPECT_TRUE(source_->TableNames().empty());
}

TEST_P(PointTables, ManyTablesInOneRun) {
    for (int i = 0; i < 50; ++i) {
        const std::string sub = "Device" + std::to_string(i);
        ASSERT_EQ("", WritePointTable(*calls_, "Ch" + sub, {"A", "B", "C", "D"}, "Ch", sub))
            << calls_->LastErrorText();
    }
    ASSERT_EQ(1, calls_->Finish());
    const tabulo::ReadResult result = source_->Read();
    ASSERT_EQ(50u, result.tables.size());
    for (const tabulo::ReadTable& table : result.tables) {
        EXPECT_EQ(25u, table.columns.size());
        EXPECT_EQ(1u, table.rows.size());
    }
}

} // namespace
} // namespace tabulo_test

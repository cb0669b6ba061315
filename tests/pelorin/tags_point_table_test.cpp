// Point tables from snapshots of the simulated plant into a recording database object: tables,
// columns, types, the one row, the messages, Finish, and names that must stay names in SQL.
#include "tags_recording_database.h"
#include "tags_world.h"

#include "tags/point_table.h"
#include "tags/point_table_source.h"

namespace {

using Texts = std::vector<std::string>;
using tagtest::Ansi;
using tagtest::RecordingDatabase;

const Texts kChannel1Columns = {"DeviceName", "Temp",    "TempUNIT", "TempLL",    "TempLO",
                                "TempHI",     "TempHH",  "Press",    "PressUNIT", "PressLL",
                                "PressLO",    "PressHI", "PressHH"};
const Texts kChannel1Types = {"VARCHAR", "VARCHAR", "VARCHAR", "INT", "INT", "INT", "INT",
                              "VARCHAR", "VARCHAR", "INT",     "INT", "INT", "INT"};

class PointTables : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Ready()); }
    void TearDown() override {
        EXPECT_EQ(tagtest::PlantRootBranches(), server_.BranchesHere());
        EXPECT_TRUE(server_.ReleaseAndExpectNothingOutstanding());
    }
    void Create(const std::vector<std::string>& branches) {
        pelorin::CreatePointTables(&database_, server_.browse, aliases_, branches,
                                   [this](const std::wstring& text) { shown_.push_back(text); });
    }

    tagtest::ServerUnderTest server_{L"PelorinTags.Plant"};
    RecordingDatabase database_;
    pelorin::AliasMap aliases_;
    std::vector<std::wstring> shown_;
};

TEST_F(PointTables, OneTablePerSubBranchWithSixColumnsPerItemAndOneRow) {
    aliases_["Channel1"] = "CH1";
    Create({"Channel1"});
    const Texts expected = {
        "IsOpen", "CreateTable CH1Device1", "OpenRecordset select * from \"CH1Device1\" 1 3 3 1",
        "AddNew", "Set DeviceName=Device1", "Set Temp=CH1Device1Temp", "Set Press=CH1Device1Press",
        "Update",
        // a sub-branch without items: DeviceName alone
        "CreateTable CH1Device2", "OpenRecordset select * from \"CH1Device2\" 1 3 3 1", "AddNew",
        "Set DeviceName=Device2", "Update", "Finish"};
    EXPECT_EQ(expected, database_.calls);
    ASSERT_EQ(2u, database_.columns.size());
    EXPECT_EQ(kChannel1Columns, database_.columns[0]);
    EXPECT_EQ(kChannel1Types, database_.types[0]);
    EXPECT_EQ(Texts({"DeviceName"}), database_.columns[1]);
    EXPECT_EQ(Texts({"VARCHAR"}), database_.types[1]);
    EXPECT_TRUE(shown_.empty());
}

TEST_F(PointTables, WithoutAnAliasLineTheBranchNameIsThePrefixAnEmptyAliasIsNone) {
    Create({"Channel1"});
    EXPECT_EQ("CreateTable Channel1Device1", database_.calls[1]);
    EXPECT_EQ("Set Temp=Channel1Device1Temp", database_.calls[5]);
    EXPECT_EQ("Set Press=Channel1Device1Press", database_.calls[6]);
    pelorin::ParseAliasText("Channel1;\n", aliases_);
    Create({"Channel1"});
    EXPECT_EQ("CreateTable Device1", database_.calls[15]);
    EXPECT_EQ("Set Temp=Device1Temp", database_.calls[19]);
}

TEST_F(PointTables, ABranchWithoutSubBranchesWritesNoTableButTheRunStillEnds) {
    Create({"Bulk"});
    EXPECT_EQ(Texts({"IsOpen", "Finish"}), database_.calls);
}

TEST_F(PointTables, OnlyItemsOfTheSubBranchesGetColumns) {
    // Plant's own item, Line1's nested item Motor and the items of Line1's branch Deep do not.
    Create({"Plant"});
    ASSERT_EQ(2u, database_.columns.size());
    EXPECT_EQ(Texts({"DeviceName", "Temp", "TempUNIT", "TempLL", "TempLO", "TempHI", "TempHH",
                     "Pump", "PumpUNIT", "PumpLL", "PumpLO", "PumpHI", "PumpHH"}),
              database_.columns[0]);
    EXPECT_EQ(Texts({"CreateTable PlantLine1", "CreateTable PlantLine2"}),
              Texts({database_.calls[1], database_.calls[8]}));
}

TEST_F(PointTables, EveryRunWritesEveryRowAgain) {
    aliases_["Channel1"] = "CH1";
    Create({"Channel1"});
    const Texts first = database_.calls;
    Create({"Channel1"});
    Texts twice = first;
    twice.insert(twice.end(), first.begin(), first.end());
    EXPECT_EQ(twice, database_.calls);
}

TEST_F(PointTables, ATableTheDatabaseRefusesIsToldAndGetsNoRow) {
    aliases_["Channel1"] = "CH1";
    database_.refuseTables = {"CH1Device1"};
    database_.lastError = "table CH1Device1: disk full";
    Create({"Channel1"});
    EXPECT_EQ(Texts({"IsOpen", "CreateTable CH1Device1", "LastErrorText", "CreateTable CH1Device2",
                     "OpenRecordset select * from \"CH1Device2\" 1 3 3 1", "AddNew",
                     "Set DeviceName=Device2", "Update", "Finish"}),
              database_.calls);
    EXPECT_EQ(std::vector<std::wstring>({L"table CH1Device1: disk full"}), shown_);
}

TEST_F(PointTables, ARecordsetTheDatabaseRefusesIsToldAndTheRowIsTriedAllTheSame) {
    database_.refuseRecordset = true;
    database_.lastError = Ansi(L"只读数据库");
    Create({"Channel1"});
    EXPECT_EQ(Texts({"IsOpen", "CreateTable Channel1Device1",
                     "OpenRecordset select * from \"Channel1Device1\" 1 3 3 1", "LastErrorText",
                     "AddNew", "Set DeviceName=Device1", "Set Temp=Channel1Device1Temp",
                     "Set Press=Channel1Device1Press", "Update"}),
              Texts(database_.calls.begin(), database_.calls.begin() + 9));
    EXPECT_EQ(std::vector<std::wstring>({L"只读数据库", L"只读数据库"}), shown_);
}

TEST_F(PointTables, ARowTheDatabaseWillNotStartIsToldAsAddnew) {
    database_.refuseAddNew = true;
    Create({"Channel1"});
    EXPECT_EQ(
        Texts({"IsOpen", "CreateTable Channel1Device1",
               "OpenRecordset select * from \"Channel1Device1\" 1 3 3 1", "AddNew",
               "CreateTable Channel1Device2",
               "OpenRecordset select * from \"Channel1Device2\" 1 3 3 1", "AddNew", "Finish"}),
        database_.calls);
    EXPECT_EQ(std::vector<std::wstring>({L"addnew", L"addnew"}), shown_);
}

TEST_F(PointTables, NothingHappensWithoutAnOpenSource) {
    database_.open = false;
    Create({"Channel1"});
    pelorin::CreatePointTables(nullptr, server_.browse, aliases_, {"Channel1"},
                               [this](const std::wstring& text) { shown_.push_back(text); });
    EXPECT_EQ(Texts({"IsOpen"}), database_.calls);
    EXPECT_TRUE(shown_.empty());
}

// The identifier a "select * from <identifier>" names, and whether anything follows it.
bool SelectedTable(const std::string& query, std::string& table) {
    const std::string head = "select * from \"";
    if (query.compare(0, head.size(), head) != 0)
        return false;
    table.clear();
    for (size_t at = head.size(); at < query.size(); ++at) {
        if (query[at] != '"') {
            table += query[at];
            continue;
        }
        if (at + 1 < query.size() && query[at + 1] == '"') {
            table += '"';
            ++at;
            continue;
        }
        return at + 1 == query.size(); // the closing quote ends the statement
    }
    return false;
}

TEST_F(PointTables, HostileNamesSelectExactlyTheirOwnTable) {
    Create({"Evil"});
    const std::string table = "Evilx\"; DROP TABLE t; --";
    ASSERT_EQ("CreateTable " + table, database_.calls[1]);
    const std::string recordset = database_.calls[2];
    const std::string query =
        recordset.substr(std::string("OpenRecordset ").size(),
                         recordset.size() - std::string("OpenRecordset ").size() - 8);
    EXPECT_EQ("select * from \"Evilx\"\"; DROP TABLE t; --\"", query);
    std::string selected;
    EXPECT_TRUE(SelectedTable(query, selected));
    EXPECT_EQ(table, selected);
    // Column names go to the library as they are; it quotes them in its own statements.
    EXPECT_EQ("a\"b [c]", database_.columns[0][1]);
    EXPECT_EQ("Set a\"b [c]=" + table + "a\"b [c]", database_.calls[5]);
}

TEST(QuoteSqlIdentifier, AnyNameStaysOneIdentifier) {
    for (const std::string& name :
         {std::string(), std::string("\""), std::string("\"\""), std::string("a\"b"),
          std::string("x\" or 1=1; --"), std::string("[x] 'y' `z`"), Ansi(L"锅炉\"房")}) {
        std::string selected;
        EXPECT_TRUE(SelectedTable(pelorin::SelectAllQuery(name), selected)) << name;
        EXPECT_EQ(name, selected);
    }
    EXPECT_EQ("\"a\"\"b\"", pelorin::QuoteSqlIdentifier("a\"b"));
}

TEST(ChooseDataSource, ALibraryGivingNoObjectIsToldAndAskedAgainNextTime) {
    int made = 0;
    pelorin::PointTableSource source([&]() -> tabulo::Database* {
        ++made;
        return nullptr;
    });
    std::vector<std::wstring> shown;
    const auto show = [&](const std::wstring& text) { shown.push_back(text); };
    EXPECT_FALSE(source.Choose(show));
    EXPECT_FALSE(source.Choose(show));
    EXPECT_EQ(2, made);
    EXPECT_EQ(std::vector<std::wstring>(2, pelorin::kNoDatabaseText), shown);
    EXPECT_EQ(nullptr, source.Database());
    EXPECT_EQ("", source.Source());
}

TEST(ChooseDataSource, TheObjectIsMadeOnceAndTheChosenSourceOpened) {
    RecordingDatabase database;
    int made = 0;
    pelorin::PointTableSource source([&]() -> tabulo::Database* {
        ++made;
        return &database;
    });
    database.chosen = Ansi(L"C:\\点表\\points.db");
    EXPECT_TRUE(source.Choose(nullptr));
    EXPECT_EQ(database.chosen, source.Source());
    database.chosen.clear(); // the engineer cancels the second time
    EXPECT_FALSE(source.Choose(nullptr));
    EXPECT_EQ(Ansi(L"C:\\点表\\points.db"), source.Source());
    EXPECT_EQ(1, made);
    EXPECT_EQ(&database, source.Database());
    EXPECT_EQ(
        Texts({"ChooseSource []", "OpenSource " + Ansi(L"C:\\点表\\points.db"), "ChooseSource []"}),
        database.calls);
}

} // namespace

// The point tables of the simulated plant written through the real database library into a
// SQLite file and read back: what an engineer finds in the database afterwards.
#include "tags_world.h"

#include <cstdio>

#include "table_reader.h"
#include "tabulo.h"
#include "tags/point_table_source.h"

namespace {

using Texts = std::vector<std::string>;

std::string Utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], n, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

Texts Columns(const tabulo::ReadTable& table) {
    Texts columns;
    for (const tabulo::ReadColumn& column : table.columns)
        columns.push_back(column.name + ":" + column.type);
    return columns;
}

Texts Row(const tabulo::ReadTable& table, size_t row) {
    Texts values;
    for (const auto& value : table.rows.at(row))
        values.push_back(value ? *value : "NULL");
    return values;
}

class PointTableFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Ready());
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        // The library keeps its file open until the process ends, so a test cannot remove its
        // own: it removes those that earlier test processes left.
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((std::wstring(temp) + L"points-*.db").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do
                DeleteFileW((std::wstring(temp) + found.cFileName).c_str());
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        static int serial = 0; // the library keeps one object per process: a file per test
        file_ = std::wstring(temp) + L"points-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++serial) + L".db";
        DeleteFileW(file_.c_str());
        database_ = CreateTabulo();
        ASSERT_NE(nullptr, database_);
        database_->OpenSource(fw::String(tagtest::Ansi(file_)));
        ASSERT_TRUE(database_->IsOpen()) << database_->LastErrorText().c_str();
    }
    void TearDown() override { EXPECT_TRUE(server_.ReleaseAndExpectNothingOutstanding()); }
    void Create(const std::vector<std::string>& branches) {
        pelorin::CreatePointTables(database_, server_.browse, aliases_, branches,
                                   [this](const std::wstring& text) { shown_.push_back(text); });
    }
    const tabulo::ReadTable* Table(const tabulo::ReadResult& read, const std::string& name) {
        for (const tabulo::ReadTable& table : read.tables)
            if (table.name == name)
                return &table;
        ADD_FAILURE() << "no table " << name;
        return nullptr;
    }

    tagtest::ServerUnderTest server_{L"PelorinTags.Plant"};
    tabulo::Database* database_ = nullptr;
    std::wstring file_;
    pelorin::AliasMap aliases_;
    std::vector<std::wstring> shown_;
};

TEST_F(PointTableFile, HoldsTheTablesColumnsAndRowsOfTheSubBranches) {
    aliases_["Channel1"] = "CH1";
    Create({"Channel1", tagtest::Ansi(L"锅炉房")});
    Create({"Channel1"}); // the second run writes the rows again
    EXPECT_TRUE(shown_.empty());
    const tabulo::ReadResult read = tabulo::ReadTables(Utf8(file_));
    ASSERT_TRUE(read.ok) << read.error;
    const tabulo::ReadTable* device = Table(read, "CH1Device1");
    ASSERT_NE(nullptr, device);
    EXPECT_EQ(
        Texts({"DeviceName:TEXT", "Temp:TEXT", "TempUNIT:TEXT", "TempLL:INTEGER", "TempLO:INTEGER",
               "TempHI:INTEGER", "TempHH:INTEGER", "Press:TEXT", "PressUNIT:TEXT",
               "PressLL:INTEGER", "PressLO:INTEGER", "PressHI:INTEGER", "PressHH:INTEGER"}),
        Columns(*device));
    ASSERT_EQ(2u, device->rows.size());
    EXPECT_EQ(Texts({"Device1", "CH1Device1Temp", "NULL", "NULL", "NULL", "NULL", "NULL",
                     "CH1Device1Press", "NULL", "NULL", "NULL", "NULL", "NULL"}),
              Row(*device, 1));
    const tabulo::ReadTable* empty = Table(read, "CH1Device2");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(Texts({"DeviceName:TEXT"}), Columns(*empty));
    const tabulo::ReadTable* boiler = Table(read, "锅炉房一号");
    ASSERT_NE(nullptr, boiler);
    EXPECT_EQ(Texts({"一号", "锅炉房一号温度", "NULL", "NULL", "NULL", "NULL", "NULL"}),
              Row(*boiler, 0));
}

TEST_F(PointTableFile, AHostileNameGetsItsOwnTableAndRunsNothing) {
    // A table that the hostile name tries to drop.
    Texts before;
    {
        tabulo::StringList names, types;
        names.Add(fw::String("Keep"));
        types.Add(fw::String("VARCHAR"));
        ASSERT_TRUE(database_->CreateTable(fw::String("t"), &names, &types));
        database_->Finish();
    }
    Create({"Evil"});
    EXPECT_TRUE(shown_.empty());
    const tabulo::ReadResult read = tabulo::ReadTables(Utf8(file_));
    ASSERT_TRUE(read.ok) << read.error;
    Texts tables;
    for (const tabulo::ReadTable& table : read.tables)
        tables.push_back(table.name);
    EXPECT_EQ(Texts({"Evilx\"; DROP TABLE t; --", "t"}), tables);
    const tabulo::ReadTable* evil = Table(read, "Evilx\"; DROP TABLE t; --");
    ASSERT_NE(nullptr, evil);
    ASSERT_EQ(1u, evil->rows.size());
    EXPECT_EQ("a\"b [c]", evil->columns[1].name);
    EXPECT_EQ("Evilx\"; DROP TABLE t; --a\"b [c]", Row(*evil, 0)[1]);
}

} // namespace

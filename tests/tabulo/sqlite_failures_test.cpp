// Failures of a database file that an engineer meets: each answers 0 with a text and writes
// nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "test_support.h"

namespace tabulo_test {
namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SqliteFailures : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, calls_.object()); }
    void TearDown() override {
        SetFileAttributesA(source_.source().c_str(), FILE_ATTRIBUTE_NORMAL);
        calls_.OpenSource("");
    }
    TestSource source_{Engine::Sqlite};
    TabuloCalls calls_{CreateTabuloObject()};
};

TEST_F(SqliteFailures, ReadOnlyFileOpensButTakesNoTablesOrRows) {
    ASSERT_EQ(1, calls_.OpenSource(source_.source()));
    ASSERT_EQ("", WritePointTable(calls_, "Existing", {"Temp"}, "P", "S"));
    ASSERT_EQ(1, calls_.Finish());
    calls_.OpenSource("");
    ASSERT_TRUE(SetFileAttributesA(source_.source().c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string before = FileBytes(source_.source());

    ASSERT_EQ(1, calls_.OpenSource(source_.source())) << calls_.LastErrorText();
    EXPECT_EQ(1, calls_.IsOpen());
    PointTableLists lists;
    BuildPointTable({"Temp"}, lists);
    // The table is there: CreateTable succeeds, but no row can be appended.
    EXPECT_EQ(1, calls_.CreateTable("Existing", &lists.names, &lists.types));
    EXPECT_EQ(0, calls_.OpenRecordset("select * from Existing"));
    EXPECT_NE(std::string::npos, calls_.LastErrorText().find("Existing"));
    EXPECT_EQ(0, calls_.AddNew());
    // A new table cannot be made: SQLite says why.
    EXPECT_EQ(0, calls_.CreateTable("New", &lists.names, &lists.types));
    EXPECT_NE(std::string::npos, calls_.LastErrorText().find("readonly")) << calls_.LastErrorText();
    calls_.Finish();
    calls_.OpenSource("");
    EXPECT_TRUE(before == FileBytes(source_.source())) << "the read-only file changed";
}

TEST_F(SqliteFailures, UnopenableSourcesLeaveNothingOpen) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string notADatabase = source_.source() + ".txt";
    {
        std::ofstream out(notADatabase, std::ios::binary);
        out << "This is a text file, not a database. It is long enough to have a header.\n";
    }
    const std::string textBefore = FileBytes(notADatabase);
    for (const std::string& path :
         {std::string(folder), notADatabase, std::string(folder) + "no such folder\\x.db"}) {
        ASSERT_EQ(1, calls_.OpenSource(source_.source()));
        EXPECT_EQ(0, calls_.OpenSource(path)) << path;
        EXPECT_EQ(0, calls_.IsOpen()) << path;
        EXPECT_NE(std::string::npos, calls_.LastErrorText().find(path)) << calls_.LastErrorText();
    }
    EXPECT_TRUE(textBefore == FileBytes(notADatabase)) << "the text file changed";
    DeleteFileA(notADatabase.c_str());
}

TEST_F(SqliteFailures, BytesOutsideTheCodePageAreRefused) {
    ASSERT_EQ(1, calls_.OpenSource(source_.source()));
    PointTableLists lists;
    BuildPointTable({"Temp"}, lists);
    // A lead byte of code page 936 without its trail byte is no text at all.
    EXPECT_EQ(0, calls_.CreateTable("Bad\x81", &lists.names, &lists.types));
    EXPECT_FALSE(calls_.LastErrorText().empty());
    ASSERT_EQ(1, calls_.Finish());
    EXPECT_TRUE(source_.TableNames().empty());
}

} // namespace
} // namespace tabulo_test

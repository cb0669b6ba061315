// Failures of a database server that an engineer meets, against the PostgreSQL test server:
// each answers 0 with the driver's reason, and no half of a run stays behind.
#include <windows.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tabulo_test {
namespace {

class OdbcFailures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(source_.ready());
        ASSERT_NE(nullptr, calls_.object());
        // Names the library's connection, so that a test can cut just that one.
        application_ = "tabulo_" + std::to_string(GetCurrentProcessId());
        librarySource_ = source_.source() + ";pqopt={application_name=" + application_ + "}";
    }
    void TearDown() override { calls_.OpenSource(""); }

    // Ends the library's connection from the server's side, as a server restart or a broken
    // network does.
    void CutConnection() {
        EXPECT_EQ("1", source_.QueryOne("SELECT count(pg_terminate_backend(pid)) FROM "
                                        "pg_stat_activity WHERE application_name = '" +
                                        application_ + "'"));
    }

    TestSource source_{Engine::Postgres};
    TabuloCalls calls_{CreateTabuloObject()};
    std::string application_;
    std::string librarySource_;
};

TEST_F(OdbcFailures, WrongPasswordIsRefusedWithTheServersReason) {
    EXPECT_EQ(0, calls_.OpenSource(OdbcSourceWith("Pwd", "wrong")));
    EXPECT_EQ(0, calls_.IsOpen());
    const std::string text = calls_.LastErrorText();
    EXPECT_NE(std::string::npos, text.find("password authentication failed")) << text;
    EXPECT_EQ(std::string::npos, text.find("Pwd=")) << "the message shows no password";
}

TEST_F(OdbcFailures, ServerThatIsNotThereIsRefusedWithTheReason) {
    // Port 1 on this computer: nobody listens there.
    EXPECT_EQ(0, calls_.OpenSource(OdbcSourceWith("Port", "1")));
    EXPECT_EQ(0, calls_.IsOpen());
    const std::string text = calls_.LastErrorText();
    EXPECT_NE(std::string::npos, text.find("127.0.0.1")) << text;
}

TEST_F(OdbcFailures, UnknownDriverIsRefused) {
    EXPECT_EQ(0, calls_.OpenSource("Driver={No Such Driver};Server=127.0.0.1"));
    EXPECT_EQ(0, calls_.IsOpen());
    EXPECT_FALSE(calls_.LastErrorText().empty());
}

TEST_F(OdbcFailures, ConnectionLostInARunRollsItBackAndTheNextRunWorks) {
    ASSERT_EQ(1, calls_.OpenSource(librarySource_)) << calls_.LastErrorText();
    ASSERT_EQ("", WritePointTable(calls_, "Before", {"A"}, "P", "S"));
    CutConnection();

    PointTableLists lists;
    BuildPointTable({"A"}, lists);
    EXPECT_EQ(0, calls_.CreateTable("After", &lists.names, &lists.types));
    const std::string lost = calls_.LastErrorText();
    EXPECT_FALSE(lost.empty());
    // The rest of the run fails with the same reason; Finish ends it.
    EXPECT_EQ(0, calls_.OpenRecordset("select * from After"));
    EXPECT_EQ(0, calls_.AddNew());
    EXPECT_EQ(lost, calls_.LastErrorText());
    EXPECT_EQ(0, calls_.Finish());
    EXPECT_EQ(1, calls_.IsOpen()) << "the source stays chosen";
    EXPECT_TRUE(source_.TableNames().empty()) << "nothing of the lost run is left";

    // The next run connects again and writes everything.
    ASSERT_EQ("", WritePointTable(calls_, "Before", {"A"}, "P", "S")) << calls_.LastErrorText();
    ASSERT_EQ("", WritePointTable(calls_, "After", {"A"}, "P", "S")) << calls_.LastErrorText();
    ASSERT_EQ(1, calls_.Finish()) << calls_.LastErrorText();
    EXPECT_EQ((std::vector<std::string>{"After", "Before"}), source_.TableNames());
    EXPECT_EQ("1", source_.QueryOne("SELECT count(*) FROM \"Before\""));
}

TEST_F(OdbcFailures, ConnectionDroppedBetweenRunsIsMadeAgain) {
    ASSERT_EQ(1, calls_.OpenSource(librarySource_)) << calls_.LastErrorText();
    ASSERT_EQ("", WritePointTable(calls_, "First", {"A"}, "P", "S"));
    ASSERT_EQ(1, calls_.Finish());
    CutConnection();
    ASSERT_EQ("", WritePointTable(calls_, "Second", {"A"}, "P", "S")) << calls_.LastErrorText();
    ASSERT_EQ(1, calls_.Finish());
    EXPECT_EQ((std::vector<std::string>{"First", "Second"}), source_.TableNames());
}

TEST_F(OdbcFailures, NamesTheServerWouldShortenAreRefused) {
    ASSERT_EQ(1, calls_.OpenSource(source_.source()));
    PointTableLists lists;
    BuildPointTable({"A"}, lists);
    // PostgreSQL keeps 63 bytes of a name: a longer one would name another table.
    EXPECT_EQ(0, calls_.CreateTable(std::string(64, 'T'), &lists.names, &lists.types));
    EXPECT_NE(std::string::npos, calls_.LastErrorText().find("63"));
    // 22 Chinese characters are 66 bytes in UTF-8.
    std::string chinese;
    for (int i = 0; i < 22; ++i)
        chinese += u8"点";
    EXPECT_EQ(0, calls_.CreateTable(Ansi(chinese), &lists.names, &lists.types));
    PointTableLists longColumn;
    BuildPointTable({std::string(60, 'c')}, longColumn); // 60 + "UNIT" = 64 bytes
    EXPECT_EQ(0, calls_.CreateTable("Short", &longColumn.names, &longColumn.types));
    ASSERT_EQ(1, calls_.Finish());
    EXPECT_TRUE(source_.TableNames().empty());
}

TEST_F(OdbcFailures, TablesOfOtherSchemasAreNotMistakenForOurs) {
    // A table of the same name elsewhere on the server, with other columns.
    ASSERT_TRUE(source_.Execute("DROP SCHEMA IF EXISTS other_" + source_.schema() +
                                " CASCADE; CREATE SCHEMA other_" + source_.schema() +
                                "; CREATE TABLE other_" + source_.schema() + ".\"Dev\" (x TEXT)"));
    ASSERT_EQ(1, calls_.OpenSource(source_.source()));
    ASSERT_EQ("", WritePointTable(calls_, "Dev", {"A"}, "P", "S")) << calls_.LastErrorText();
    ASSERT_EQ(1, calls_.Finish());
    EXPECT_EQ("1", source_.QueryOne("SELECT count(*) FROM \"Dev\""));
    source_.Execute("DROP SCHEMA other_" + source_.schema() + " CASCADE");
}

} // namespace
} // namespace tabulo_test

// The scenario steps on grid cells, tags and the point tables' database: their shapes, and the
// tags `given tag` and `given tags` describe.
#include <gtest/gtest.h>

#include <vector>

#include "given.h"
#include "scenario.h"
#include "tag_file.h"

namespace {

std::string ParseError(const std::string& text) {
    host::Scenario scenario;
    std::string error;
    EXPECT_FALSE(host::ParseScenario(text, scenario, error)) << text;
    return error;
}

TEST(CellAndTagSteps, EveryFormParsesIntoGivenAndSteps) {
    const char* text = R"(given tag "T1"
given tag "T2" hidden pv "Dev.A" desc "Dev.B"
given tag "T3" desc "Dev.C" hidden
cell-click 12015 2 3
cell-type 12015 3 1 "Dev.T1"
cell-key 12015 3 1 DELETE
cell-key 12015 1 1 F2
expect cell 12015 1 0 ""
expect rows 12015 51
expect tag "T1" pv "Dev.A" desc none
expect tag "T2" pv none desc none
expect tags 3
)";
    host::Scenario scenario;
    std::string error;
    ASSERT_TRUE(host::ParseScenario(text, scenario, error)) << error;
    ASSERT_EQ(3u, scenario.given.size());
    ASSERT_EQ(9u, scenario.steps.size());
    EXPECT_EQ("cell-type", scenario.steps[1].Kind());
    EXPECT_EQ("expect tag", scenario.steps[6].Kind());

    const host::TagData plain = host::GivenTag(scenario.given[0]);
    EXPECT_EQ("T1", plain.name);
    EXPECT_FALSE(plain.hidden);
    EXPECT_TRUE(plain.links.empty());
    const host::TagData full = host::GivenTag(scenario.given[1]);
    EXPECT_TRUE(full.hidden);
    ASSERT_EQ(2u, full.links.size());
    EXPECT_EQ("Dev.A", full.Link("PV")->item);
    EXPECT_EQ("Dev.B", full.Link("DESC")->item);
    EXPECT_EQ("Dev.C", host::GivenTag(scenario.given[2]).Link("DESC")->item);
}

TEST(CellAndTagSteps, MalformedStepsNameTheirLineAndProblem) {
    EXPECT_EQ("line 1: 'cell-click' takes 3 argument(s); the step is: cell-click <id> <col> <row>",
              ParseError("cell-click 12015 2\n"));
    EXPECT_NE(std::string::npos, ParseError("cell-click 12015 -1 2\n").find("decimal number"));
    EXPECT_NE(std::string::npos, ParseError("cell-type 12015 2 2 \"\"\n").find("needs a text"));
    EXPECT_NE(std::string::npos, ParseError("cell-key 12015 2 2 SPACE\n").find("key name"));
    EXPECT_NE(std::string::npos, ParseError("expect cell 12015 2 2 x\n").find("quoted text"));
    EXPECT_NE(std::string::npos,
              ParseError("expect tag \"T1\" desc none pv none\n").find("expect tag \"<name>\""));
    EXPECT_NE(std::string::npos, ParseError("given tag \"T1\" pv\n").find("needs a quoted"));
    EXPECT_NE(std::string::npos,
              ParseError("given tag \"T1\" hidden hidden\n").find("comes twice"));
    EXPECT_NE(std::string::npos, ParseError("given tag \"\"\n").find("given tag \"<name>\""));
    EXPECT_EQ("line 2: unknown step 'cell-drag'", ParseError("\ncell-drag 1 2 3\n"));
}

TEST(CellAndTagSteps, GivenTagsThatBreakAPolicyAreRefused) {
    host::TagDatabase db;
    std::string error;
    host::TagData first;
    first.name = "T1";
    first.links.push_back({"PV", "Dev.A", 0, 0, 0, 0});
    ASSERT_TRUE(db.AddCommitted(first, error)) << error;
    host::TagData again;
    again.name = "t1";
    EXPECT_FALSE(db.AddCommitted(again, error));
    host::TagData thief;
    thief.name = "T2";
    thief.links.push_back({"DESC", "Dev.A", 0, 0, 0, 0});
    EXPECT_FALSE(db.AddCommitted(thief, error));
    EXPECT_EQ(1u, db.Count());
    EXPECT_EQ(1u, db.Committed().size());
}

TEST(CellAndTagSteps, ManyTagsAreNamedByCounting) {
    host::Scenario scenario;
    std::string error;
    ASSERT_TRUE(host::ParseScenario("given tags 3 \"Old{n}_{n}\"\n", scenario, error)) << error;
    const std::vector<host::TagData> tags = host::GivenTags(scenario.given[0]);
    ASSERT_EQ(3u, tags.size());
    EXPECT_EQ("Old1_1", tags[0].name);
    EXPECT_EQ("Old3_3", tags[2].name);
    EXPECT_NE(std::string::npos, ParseError("given tags 100001 \"T{n}\"\n").find("at most"));
    EXPECT_NE(std::string::npos, ParseError("given tags 2 \"\"\n").find("needs a text"));
}

TEST(DatabaseSteps, RowsAreColumnsWithValuesOrNull) {
    host::Scenario scenario;
    std::string error;
    ASSERT_TRUE(host::ParseScenario(
        "given database \"points.db\" readonly seed \"t.sql\"\nchoose-database\n"
        "expect tables none\nexpect tables \"A\" \"B\"\n"
        "expect table \"A\" columns \"DeviceName:TEXT\" \"X:INTEGER\" rows 1\n"
        "expect row \"A\" 1 \"DeviceName\" \"Device1\" \"X\" NULL\n"
        "expect text 1034 database\nexpect message alias-path answer OK\n",
        scenario, error))
        << error;
    EXPECT_EQ(1u, scenario.given.size());
    EXPECT_EQ(7u, scenario.steps.size());
    EXPECT_NE(std::string::npos, ParseError("expect row \"A\" 1 \"X\"\n").find("as argument 4"));
    EXPECT_NE(std::string::npos,
              ParseError("expect row \"A\" 1 \"X\" \"1\" \"Y\"\n").find("needs its value"));
    EXPECT_NE(std::string::npos,
              ParseError("expect row \"A\" 1 \"X\" null\n").find("a quoted value or NULL"));
    EXPECT_NE(std::string::npos, ParseError("expect row \"A\" 1 X \"1\"\n").find("quoted"));
    EXPECT_NE(std::string::npos,
              ParseError("expect table \"A\" columns rows 1\n").find("quoted text"));
    EXPECT_NE(std::string::npos,
              ParseError("given database \"a.db\"\ngiven database \"b.db\"\n").find("twice"));
}

} // namespace

// The scenario syntax is a contract other tests are written against: pin its parsing.
#include <gtest/gtest.h>

#include "scenario.h"

namespace {

host::Scenario Parse(const std::string& text) {
    host::Scenario scenario;
    std::string error;
    EXPECT_TRUE(host::ParseScenario(text, scenario, error)) << error;
    return scenario;
}

std::string ParseError(const std::string& text) {
    host::Scenario scenario;
    std::string error;
    EXPECT_FALSE(host::ParseScenario(text, scenario, error)) << text;
    return error;
}

TEST(ScenarioSyntax, QuotedTextsKnowTheirEscapes) {
    std::vector<host::FieldValue> words;
    std::string error;
    ASSERT_TRUE(host::SplitWords(R"(type 12 "a\"b\\c\nd\re" tail)", words, error));
    ASSERT_EQ(4u, words.size());
    EXPECT_EQ("a\"b\\c\nd\re", words[2].text);
    EXPECT_TRUE(words[2].quoted);
    EXPECT_FALSE(words[3].quoted);
    EXPECT_FALSE(host::SplitWords(R"(type 1 "open)", words, error));
    EXPECT_FALSE(host::SplitWords(R"(type 1 "bad \t escape")", words, error));
}

TEST(ScenarioSyntax, GivenLinesAreSeparatedFromSteps) {
    host::Scenario s = Parse("# comment\n\n  given field source 100\nwindow \"设备\"\n"
                             "given field node \"PC 1\"\r\nexpect result 0\n");
    ASSERT_EQ(2u, s.given.size());
    EXPECT_EQ("given field", s.given[0].Kind());
    EXPECT_EQ(3, s.given[0].line);
    EXPECT_TRUE(s.given[1].words[3].quoted);
    EXPECT_EQ("PC 1", s.given[1].words[3].text);
    ASSERT_EQ(2u, s.steps.size());
    EXPECT_EQ("window", s.steps[0].Kind());
    EXPECT_EQ("设备", s.steps[0].words[1].text);
    EXPECT_EQ("expect result", s.steps[1].Kind());
}

TEST(ScenarioSyntax, EveryDocumentedStepParses) {
    const char* text = R"(given field target 4096
given lang en
window "OPC Config"
type 12013 "5"
select 12009 "Sim.Server.1"
click 1
key 1034 RETURN
key 1034 ESCAPE
key 1034 DELETE
key 1034 TAB
close
expect text 12013 "0"
expect visible 12013 yes
expect enabled 12013 no
expect checked 12005 yes
expect focus 1
expect glyphs 12012
expect message "目标地址应大于等于0小于15999" answer OK
expect message * answer OK
expect message "x" answer YES
expect closed
expect result -1
expect field clsid {63D5F432-CFE4-11D1-B2C8-0060083BA1FB}
expect bytes-unchanged
shot dialog
)";
    host::Scenario s = Parse(text);
    EXPECT_EQ(2u, s.given.size());
    EXPECT_EQ(23u, s.steps.size());
}

TEST(ScenarioSyntax, ListStepsTakeTheirArguments) {
    host::Scenario s = Parse("dropdown 12012\nexpect items 12009 \"A\" \"B\"\n"
                             "expect items 12009\nexpect count 12009 0\n"
                             "expect selection 12009 none\nexpect selection 12009 \"A\"\n"
                             "given servers \"w.json\"\ngiven browser off\n");
    ASSERT_EQ(6u, s.steps.size());
    EXPECT_EQ(5u, s.steps[1].words.size());
    EXPECT_EQ(2u, s.given.size());
    EXPECT_NE(std::string::npos, ParseError("expect items 12009 A\n").find("quoted"));
    EXPECT_NE(std::string::npos, ParseError("expect items\n").find("control id"));
    EXPECT_NE(std::string::npos, ParseError("expect selection 1 nothing\n").find("none"));
}

TEST(ScenarioSyntax, MistakesAreReportedWithTheirLine) {
    EXPECT_NE(std::string::npos, ParseError("window \"a\"\nclick\n").find("line 2"));
    EXPECT_NE(std::string::npos, ParseError("frobnicate 1\n").find("unknown step"));
    EXPECT_NE(std::string::npos, ParseError("click abc\n").find("control id"));
    EXPECT_NE(std::string::npos, ParseError("type 12 text\n").find("quoted"));
    EXPECT_NE(std::string::npos, ParseError("key 12 SPACE\n").find("RETURN"));
    EXPECT_NE(std::string::npos, ParseError("expect checked 12 maybe\n").find("yes or no"));
    EXPECT_NE(std::string::npos, ParseError("expect message \"a\" answer MAYBE\n").find("OK"));
    EXPECT_NE(std::string::npos, ParseError("expect message \"a\" reply OK\n").find("answer"));
    EXPECT_NE(std::string::npos, ParseError("expect text 12\n").find("argument"));
    EXPECT_NE(std::string::npos, ParseError("\"window\"\n").find("verb"));
}

} // namespace

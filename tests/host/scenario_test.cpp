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
key 1034 F2
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
    EXPECT_EQ(24u, s.steps.size());
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

TEST(ScenarioSyntax, StepsForTreesListsKeysAndServersParse) {
    host::Scenario s = Parse(R"scn(given alias-file "aliases.txt"
window "OPC 设备"
expect caption "PC1\\Srv.1"
keys 12001 "一二三"
command 12025
key 1004 RETURN
key 12015 ESCAPE
dblclick 1005 "Level 1"
tree-select 1004 "Root" "Channel1"
tree-expand 1004 "Root" "Channel1"
tree-collapse 1004 "Root"
expect tree 1004 "Root" children "Channel1" "锅炉房"
expect tree 1004 "Root" "Empty" children none
expect tree 1004 children "Root"
expect calls "OpcSim.Plant.1" "IEnumString::Next" 3
expect calls "OpcSim.Plant.1" "IAdviseSink::OnDataChange (sent)" 0
unload
pump 500
)scn");
    ASSERT_EQ(1u, s.given.size());
    ASSERT_EQ(17u, s.steps.size());
    EXPECT_FALSE(s.namesCalls);
    EXPECT_EQ("OpcSim.Plant.1", s.steps[13].Arg(0).text);
    EXPECT_EQ("IEnumString::Next", s.steps[13].Arg(1).text);
    EXPECT_NE(std::string::npos, ParseError("keys 12001 \"\"\n").find("needs a text"));
    EXPECT_NE(std::string::npos, ParseError("pump 60001\n").find("at most 60000"));
    EXPECT_NE(std::string::npos,
              ParseError("expect tree 1004 children none \"a\"\n").find("stands alone"));
    EXPECT_NE(std::string::npos, ParseError("tree-select 1004\n").find("quoted text"));
    EXPECT_NE(std::string::npos,
              ParseError("expect calls \"P\" Next 3\n").find("argument 2 of 'expect calls'"));
}

TEST(ScenarioCalls, SeveralPluginsNameEachCall) {
    host::Scenario s = Parse("given plugins marvesk pelorin\ncall marvesk\nexpect result 0\n"
                             "call pelorin\nexpect result 0\n");
    EXPECT_TRUE(s.namesCalls);
    EXPECT_EQ(4u, s.steps.size());
    EXPECT_EQ("line 1: with several plug-ins, say which one each call goes to (call <plugin>)",
              ParseError("given plugins marvesk pelorin\nwindow \"x\"\n"));
    EXPECT_EQ("line 2: a scenario with call steps starts with one",
              ParseError("given plugins marvesk pelorin\nwindow \"x\"\ncall marvesk\n"));
    EXPECT_EQ("line 3: 'grid' is not one of the given plug-ins",
              ParseError("given plugins marvesk pelorin\ncall marvesk\ncall grid\n"));
    EXPECT_EQ("line 3: no call after unload", ParseError("call pelorin\nunload\ncall pelorin\n"));
    EXPECT_EQ("line 1: 'pelorin' is given twice",
              ParseError("given plugins pelorin pelorin\ncall pelorin\n"));
    EXPECT_EQ("line 2: 'given plugins' comes twice",
              ParseError("given plugins pelorin\ngiven plugins marvesk\n"));
    // One plug-in called twice: its module state lives on between the calls.
    EXPECT_TRUE(Parse("call pelorin\nexpect result -1\ncall pelorin\n").namesCalls);
}

} // namespace

// The usage lines of the step table are the argument check: pin how each shape reads a line.
#include <gtest/gtest.h>

#include "scenario.h"
#include "step_syntax.h"

namespace {

std::vector<host::FieldValue> Words(const std::string& line) {
    std::vector<host::FieldValue> words;
    std::string error;
    EXPECT_TRUE(host::SplitWords(line, words, error)) << error;
    return words;
}

// Checks the arguments after the step's first `skip` words.
std::string Check(const std::string& usage, const std::string& line, size_t skip = 1) {
    std::string why;
    return host::CheckArguments(usage, Words(line), skip, "step", why) ? "ok" : why;
}

TEST(StepSyntax, PlaceholdersCheckTheirKindOfWord) {
    EXPECT_EQ("ok", Check("<id> \"<text>\"", "s 12 \"a b\""));
    EXPECT_EQ("argument 1 of 'step' must be a decimal control id", Check("<id>", "s x"));
    EXPECT_EQ("argument 1 of 'step' must be a decimal control id", Check("<id>", "s \"12\""));
    EXPECT_EQ("argument 1 of 'step' must be a decimal number", Check("<count>", "s -1"));
    EXPECT_EQ("ok", Check("<n>", "s -1"));
    EXPECT_EQ("argument 1 of 'step' must be a whole number", Check("<n>", "s 1-"));
    EXPECT_EQ("argument 1 of 'step' must be a decimal number", Check("<ms>", "s 1234567890"));
    EXPECT_EQ("ok", Check("<value>", "s \"quoted\""));
    EXPECT_EQ("ok", Check("<value>", "s bare"));
    EXPECT_EQ("argument 1 of 'step' must be a bare word (name)", Check("<name>", "s \"x\""));
    EXPECT_EQ("ok", Check("<key>", "s F2"));
    EXPECT_NE(std::string::npos, Check("<key>", "s SPACE").find("a key name (RETURN, ESCAPE"));
}

TEST(StepSyntax, ChoicesAndLiteralsNameWhatWouldFit) {
    EXPECT_EQ("ok", Check("\"<text>\"|* answer OK|YES|NO|CANCEL", "s * answer NO"));
    EXPECT_EQ("argument 1 of 'step' must be a quoted text or *",
              Check("\"<text>\"|* answer OK|YES|NO|CANCEL", "s x answer NO"));
    EXPECT_EQ("argument 2 of 'step' must be the word answer",
              Check("\"<text>\"|* answer OK|YES|NO|CANCEL", "s * reply NO"));
    EXPECT_EQ("argument 3 of 'step' must be OK, YES, NO or CANCEL",
              Check("\"<text>\"|* answer OK|YES|NO|CANCEL", "s * answer no"));
}

TEST(StepSyntax, FixedShapesCountTheirArguments) {
    EXPECT_EQ("'step' takes 3 argument(s)", Check("<id> <col> <row>", "s 1 2"));
    EXPECT_EQ("'step' takes 3 argument(s)", Check("<id> <col> <row>", "s 1 2 3 4"));
    EXPECT_EQ("ok", Check("", "s"));
    EXPECT_EQ("'step' takes 0 argument(s)", Check("", "s 1"));
}

TEST(StepSyntax, RepetitionsTakeOneOrMoreAndStopAtTheNextShape) {
    const char* tree = "<id> [\"<text>\" ...] children none|\"<text>\" ...";
    EXPECT_EQ("ok", Check(tree, "s 1 children none"));
    EXPECT_EQ("ok", Check(tree, "s 1 \"Root\" \"A b\" children \"x\" \"y\""));
    EXPECT_EQ("argument 2 of 'step' must be a quoted text or children",
              Check(tree, "s 1 Root children none"));
    EXPECT_EQ("'step' needs none or a quoted text as argument 3", Check(tree, "s 1 children"));
    EXPECT_EQ("ok", Check("<id> \"<text>\" ...", "s 1 \"a\" \"b\" \"c\""));
    EXPECT_EQ("'step' needs a quoted text as argument 2", Check("<id> \"<text>\" ...", "s 1"));
    EXPECT_EQ("argument 3 of 'step' must be a quoted text",
              Check("<id> \"<text>\" ...", "s 1 \"a\" b"));
    EXPECT_EQ("ok", Check("<plugin> ...", "s marvesk pelorin"));
    EXPECT_EQ("ok", Check("<id> [\"<text>\" ...]", "s 1"));
}

TEST(StepSyntax, OptionalGroupsComeInAnyOrderOnce) {
    const char* tag = "\"<name>\" [hidden] [pv \"<item>\"] [desc \"<item>\"]";
    EXPECT_EQ("ok", Check(tag, "s \"T\""));
    EXPECT_EQ("ok", Check(tag, "s \"T\" desc \"D\" hidden pv \"P\""));
    EXPECT_EQ("argument 3 of 'step': 'hidden' comes twice", Check(tag, "s \"T\" hidden hidden"));
    EXPECT_EQ("'step' needs a quoted text as argument 3", Check(tag, "s \"T\" pv"));
    EXPECT_EQ("argument 3 of 'step' must be a quoted text", Check(tag, "s \"T\" pv x"));
    EXPECT_EQ("argument 2 of 'step' must be hidden, pv or desc", Check(tag, "s \"T\" shown"));
    // What is used up is no longer offered.
    EXPECT_EQ("argument 3 of 'step' must be pv or desc", Check(tag, "s \"T\" hidden shown"));
}

} // namespace

// The browse filter's wildcards.
#include "filter.h"

#include <gtest/gtest.h>

using opcsim::MatchFilter;

TEST(FilterTest, EmptyAndStarMatchEverything) {
    EXPECT_TRUE(MatchFilter(L"Anything", L""));
    EXPECT_TRUE(MatchFilter(L"Anything", L"*"));
    EXPECT_TRUE(MatchFilter(L"", L"*"));
}

TEST(FilterTest, QuestionMarkMatchesOneCharacter) {
    EXPECT_TRUE(MatchFilter(L"Tag1", L"Tag?"));
    EXPECT_FALSE(MatchFilter(L"Tag12", L"Tag?"));
    EXPECT_FALSE(MatchFilter(L"Tag", L"Tag?"));
}

TEST(FilterTest, StarMatchesAnyRunAnywhere) {
    EXPECT_TRUE(MatchFilter(L"Channel1.Device1.Temp", L"*Device*Temp"));
    EXPECT_TRUE(MatchFilter(L"abcabcabd", L"*abd"));
    EXPECT_FALSE(MatchFilter(L"abcabcabe", L"*abd"));
    EXPECT_TRUE(MatchFilter(L"Temperature", L"T*e"));
}

TEST(FilterTest, IgnoresLetterCase) {
    EXPECT_TRUE(MatchFilter(L"Temperature", L"temp*"));
    EXPECT_TRUE(MatchFilter(L"温度Ab", L"温度a?"));
}

TEST(FilterTest, DigitsAndSets) {
    EXPECT_TRUE(MatchFilter(L"PLC7", L"PLC#"));
    EXPECT_FALSE(MatchFilter(L"PLCx", L"PLC#"));
    EXPECT_TRUE(MatchFilter(L"b1", L"[abc]1"));
    EXPECT_TRUE(MatchFilter(L"m1", L"[a-z]1"));
    EXPECT_FALSE(MatchFilter(L"b1", L"[!abc]1"));
    EXPECT_TRUE(MatchFilter(L"[x", L"[x")) << "an unclosed set is a literal bracket";
}

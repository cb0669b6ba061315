// Node names compared the way the ANSI code page spells them (the connection tests cover which
// names reach a server here and which go through DCOM).
#include <gtest/gtest.h>

#include <windows.h>

#include "session/node_name.h"

namespace {

using pelorin::SameNodeName;

TEST(NodeNames, DoubleByteCharactersCompareExactlyAndLettersInAnyCase) {
    if (GetACP() != 936)
        GTEST_SKIP() << "needs the Chinese ANSI code page";
    // 0x81 leads a double-byte character; its second byte is no letter to fold.
    EXPECT_FALSE(SameNodeName("\x81\x41", "\x81\x61"));
    EXPECT_TRUE(SameNodeName("\x81\x41", "\x81\x41"));
    EXPECT_TRUE(SameNodeName("\xD6\xD0Pc", "\xD6\xD0pC")); // 中Pc, 中pC
    EXPECT_FALSE(SameNodeName("\xD6\xD0", "\xD6"));
    EXPECT_FALSE(SameNodeName("A", "AB"));
}

// Only letters fold: the neighbours of 'A'..'Z' and 'a'..'z' differ by 32 as well, yet are
// different characters.
TEST(NodeNames, LettersFoldAtBothEndsOfTheAlphabetAndTheirNeighboursDoNot) {
    EXPECT_TRUE(SameNodeName("A", "a"));
    EXPECT_TRUE(SameNodeName("a", "A"));
    EXPECT_TRUE(SameNodeName("Z", "z"));
    EXPECT_TRUE(SameNodeName("z", "Z"));
    EXPECT_TRUE(SameNodeName("PLANTZ", "plantz"));
    EXPECT_FALSE(SameNodeName("@", "`"));
    EXPECT_FALSE(SameNodeName("`", "@"));
    EXPECT_FALSE(SameNodeName("[", "{"));
    EXPECT_FALSE(SameNodeName("{", "["));
    EXPECT_FALSE(SameNodeName("A", "@"));
    EXPECT_FALSE(SameNodeName("Z", "["));
    EXPECT_FALSE(SameNodeName("a", "`"));
    EXPECT_FALSE(SameNodeName("z", "{"));
}

TEST(NodeNames, ANameTooLongForTheComputerNameBufferIsRemote) {
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    EXPECT_TRUE(pelorin::IsLocalNode(computer));
    EXPECT_FALSE(pelorin::IsLocalNode(std::string(computer) + std::string(16, 'Z')));
    EXPECT_FALSE(pelorin::IsLocalNode("localhost "));
}

} // namespace

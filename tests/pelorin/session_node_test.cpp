// Which node names mean this computer, compared the way the ANSI code page spells them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <string>

#include "session/node_name.h"

namespace {

using pelorin::IsLocalNode;
using pelorin::SameNodeName;

std::string ThisComputer() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    return name;
}

std::string Flipped(std::string text) {
    for (char& c : text)
        c = std::isupper(static_cast<unsigned char>(c))
                ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST(NodeNames, LocalNamesInAnyLetterCase) {
    EXPECT_TRUE(IsLocalNode(""));
    EXPECT_TRUE(IsLocalNode("127.0.0.1"));
    EXPECT_TRUE(IsLocalNode("localhost"));
    EXPECT_TRUE(IsLocalNode("LOCALHOST"));
    EXPECT_TRUE(IsLocalNode("LocalHost"));
    const std::string computer = ThisComputer();
    ASSERT_FALSE(computer.empty());
    EXPECT_TRUE(IsLocalNode(computer));
    EXPECT_TRUE(IsLocalNode(Flipped(computer)));
}

TEST(NodeNames, EverythingElseIsRemote) {
    EXPECT_FALSE(IsLocalNode("PLANT-SERVER-7"));
    EXPECT_FALSE(IsLocalNode("127.0.0.2"));
    EXPECT_FALSE(IsLocalNode("::1"));
    EXPECT_FALSE(IsLocalNode("localhost "));
    EXPECT_FALSE(IsLocalNode(ThisComputer() + "X"));
    // Longer than the 16-byte buffer the computer's name is read into.
    EXPECT_FALSE(IsLocalNode(ThisComputer() + std::string(16, 'Z')));
}

TEST(NodeNames, DoubleByteCharactersCompareExactly) {
    if (GetACP() != 936)
        GTEST_SKIP() << "needs the Chinese ANSI code page";
    // 0x81 leads a double-byte character; its second byte is not a letter to fold.
    EXPECT_FALSE(SameNodeName("\x81\x41", "\x81\x61"));
    EXPECT_TRUE(SameNodeName("\x81\x41", "\x81\x41"));
    EXPECT_TRUE(SameNodeName("\xD6\xD0Pc", "\xD6\xD0pC")); // 中Pc / 中pC
    EXPECT_FALSE(SameNodeName("\xD6\xD0", "\xD6\xD1"));
    EXPECT_FALSE(SameNodeName("\xD6\xD0", "\xD6"));
    EXPECT_FALSE(SameNodeName("A", "AB"));
}

} // namespace

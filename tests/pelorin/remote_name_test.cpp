// The node name of a network server entry, as the node box lists it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "config/server_discovery.h"

namespace {

using pelorin::NodeFromRemoteName;

TEST(RemoteNames, TheTwoCharactersAtTheFirstBackslashGo) {
    EXPECT_EQ("PC1", NodeFromRemoteName("\\\\PC1"));
    EXPECT_EQ("PC2", NodeFromRemoteName("PC2")); // no backslash: the whole name
    EXPECT_EQ("SHARE\\X", NodeFromRemoteName("PRE\\\\SHARE\\X"));
    EXPECT_EQ("B", NodeFromRemoteName("\\AB"));
    EXPECT_EQ("", NodeFromRemoteName("\\"));
    EXPECT_EQ("", NodeFromRemoteName(""));
    EXPECT_EQ("", NodeFromRemoteName(nullptr));
}

// A GBK character whose second byte is 0x5C, the backslash.
std::string Gbk(const wchar_t* text) {
    char bytes[64] = {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return n > 0 ? std::string(bytes) : std::string();
}

TEST(RemoteNames, ASecondByteThatLooksLikeABackslashIsNone) {
    if (GetACP() != 936)
        GTEST_SKIP() << "needs the Chinese ANSI code page";
    const std::string yun = Gbk(L"運"); // "運" in code page 936: DF 5C
    ASSERT_EQ(2u, yun.size());
    ASSERT_EQ('\x5C', yun[1]);

    EXPECT_EQ(yun + "PC", NodeFromRemoteName((yun + "PC").c_str()));
    EXPECT_EQ("PC1", NodeFromRemoteName((yun + "\\\\PC1").c_str()));
    EXPECT_EQ(yun + yun, NodeFromRemoteName(("\\\\" + yun + yun).c_str()));
    // The two characters after the backslash may be one double-byte character and a letter.
    EXPECT_EQ("X", NodeFromRemoteName(("\\" + yun + "X").c_str()));
}

} // namespace

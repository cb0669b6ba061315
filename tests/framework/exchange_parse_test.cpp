// Number parsing and the string class: pure logic under the data exchange.
#include <gtest/gtest.h>

#include "fw/exchange.h"
#include "fw/resources.h"
#include "fw/string.h"

namespace {

TEST(ParseNumbers, SignedAcceptsWholeNumbersWithinRange) {
    int32_t v = 0;
    EXPECT_TRUE(fw::DataExchange::ParseInt(" 42 ", v));
    EXPECT_EQ(42, v);
    EXPECT_TRUE(fw::DataExchange::ParseInt("-2147483648", v));
    EXPECT_EQ(INT32_MIN, v);
    EXPECT_TRUE(fw::DataExchange::ParseInt("2147483647", v));
    EXPECT_EQ(INT32_MAX, v);
}

TEST(ParseNumbers, SignedRejectsEverythingElseAndKeepsTheValue) {
    int32_t v = 7;
    for (const char* bad : {"", " ", "-", "2147483648", "-2147483649", "12abc", "1 2", "0x10", "+5",
                            "1.5", "99999999999999999999"})
        EXPECT_FALSE(fw::DataExchange::ParseInt(bad, v)) << bad;
    EXPECT_FALSE(fw::DataExchange::ParseInt(nullptr, v));
    EXPECT_EQ(7, v);
}

TEST(ParseNumbers, UnsignedCoversTheWholeRangeButNoSign) {
    uint32_t v = 0;
    EXPECT_TRUE(fw::DataExchange::ParseUInt("4294967295", v));
    EXPECT_EQ(4294967295u, v);
    EXPECT_TRUE(fw::DataExchange::ParseUInt("0", v));
    EXPECT_EQ(0u, v);
    for (const char* bad : {"-1", "-0", "4294967296", "", "ten"})
        EXPECT_FALSE(fw::DataExchange::ParseUInt(bad, v)) << bad;
}

TEST(FrameworkString, IsOneHandleAndCopiesIndependently) {
    static_assert(sizeof(fw::String) == 4, "one 32-bit handle");
    fw::String a = "OPC";
    fw::String b = a;
    b.Append(".Sim", 4);
    EXPECT_STREQ("OPC", a.c_str());
    EXPECT_STREQ("OPC.Sim", b.c_str());
    EXPECT_EQ(7u, b.size());
    fw::String c = std::move(b);
    EXPECT_TRUE(b.empty());
    EXPECT_STREQ("OPC.Sim", c.c_str());
}

TEST(FrameworkString, AssignsFromItselfAndEmbeddedBytes) {
    fw::String a = "abcdef";
    fw::String& self = a;
    a = self;
    EXPECT_STREQ("abcdef", a.c_str());
    a.Assign(a.c_str() + 2, 3); // a part of its own buffer
    EXPECT_STREQ("cde", a.c_str());
    a.Append(a.c_str(), a.size());
    EXPECT_STREQ("cdecde", a.c_str());
    a.Assign(nullptr, 5);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(0u, a.size());
}

TEST(FrameworkString, ConvertsThroughTheAnsiCodePage) {
    const std::wstring wide = L"温度 Temp";
    const std::string ansi = fw::ToAnsi(wide.c_str());
    EXPECT_EQ(wide, fw::ToWide(ansi.c_str()));
    EXPECT_EQ(wide, fw::Utf8ToWide(fw::WideToUtf8(wide)));
    if (GetACP() == 936) {
        EXPECT_EQ(4u + 1 + 4, ansi.size()); // two double-byte characters
    }
}

TEST(ExtensionModules, RegistrationRefusesNullAndTwice) {
    fw::ExtensionModule ext;
    EXPECT_FALSE(fw::InitExtensionModule(ext, nullptr));
    EXPECT_FALSE(fw::AddResourceModule(ext));
    EXPECT_TRUE(fw::InitExtensionModule(ext, GetModuleHandleW(nullptr)));
    EXPECT_FALSE(fw::InitExtensionModule(ext, GetModuleHandleW(nullptr)));
    EXPECT_TRUE(fw::AddResourceModule(ext));
    EXPECT_FALSE(fw::AddResourceModule(ext));
    fw::TermExtensionModule(ext);
    EXPECT_FALSE(ext.initialized);
}

} // namespace

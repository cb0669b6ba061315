// Address spaces built from JSON and browsed with the cursor, without COM.
#include "address_space.h"
#include "browse_cursor.h"
#include "config.h"

#include <opcerror.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using Names = std::vector<std::wstring>;

std::shared_ptr<opcsim::World> Parse(const std::string& json) {
    std::string error;
    auto world = opcsim::ParseWorld(json, error);
    EXPECT_TRUE(world) << error;
    return world;
}

const char kTwoLevels[] =
    R"({"servers": [{"progId": "P", "clsid": "{11111111-2222-3333-4444-555555555555}",
  "separator": "/",
  "space": [{"branch": "A", "children": [{"item": "x"}, {"item": "y", "id": "Y!1"},
                                         {"branch": "B", "children": [{"item": "z"}]}]},
            {"item": "top"}]}]})";

TEST(AddressSpaceTest, BuildsIdsWithTheServersSeparator) {
    auto world = Parse(kTwoLevels);
    ASSERT_TRUE(world);
    const auto& server = *world->servers[0];
    opcsim::BrowseCursor cursor(server.space, server);
    std::wstring id;
    ASSERT_EQ(S_OK, cursor.Move(2, L"A"));
    EXPECT_EQ(S_OK, cursor.ItemId(L"x", id));
    EXPECT_EQ(L"A/x", id);
    EXPECT_EQ(S_OK, cursor.ItemId(L"y", id));
    EXPECT_EQ(L"Y!1", id);
    ASSERT_EQ(S_OK, cursor.Move(2, L"B"));
    EXPECT_EQ(S_OK, cursor.ItemId(L"z", id));
    EXPECT_EQ(L"A/B/z", id);
    EXPECT_EQ(S_OK, cursor.Move(3, L"A/B"));
    EXPECT_EQ(E_INVALIDARG, cursor.Move(3, L"A.B"));
}

TEST(AddressSpaceTest, ListsBranchesLeavesAndFlat) {
    auto world = Parse(kTwoLevels);
    ASSERT_TRUE(world);
    const auto& server = *world->servers[0];
    opcsim::BrowseCursor cursor(server.space, server);
    Names names;
    EXPECT_EQ(S_OK, cursor.List(1, L"", VT_EMPTY, 0, names));
    EXPECT_EQ(Names{L"A"}, names);
    EXPECT_EQ(S_OK, cursor.List(2, L"", VT_EMPTY, 0, names));
    EXPECT_EQ(Names{L"top"}, names);
    EXPECT_EQ(S_OK, cursor.List(3, L"", VT_EMPTY, 0, names));
    EXPECT_EQ((Names{L"top", L"A/x", L"Y!1", L"A/B/z"}), names);
    EXPECT_EQ(S_FALSE, cursor.List(2, L"q*", VT_EMPTY, 0, names));
    EXPECT_TRUE(names.empty());
}

TEST(AddressSpaceTest, RejectsBadDescriptions) {
    std::string error;
    EXPECT_FALSE(opcsim::ParseWorld(R"({"servers": [{"progId": "P"}]})", error));
    EXPECT_NE(std::string::npos, error.find("clsid"));
    EXPECT_FALSE(opcsim::ParseWorld(
        R"({"servers": [{"progId": "P", "clsid": "{11111111-2222-3333-4444-555555555555}",
             "space": [{"nothing": 1}]}]})",
        error));
    EXPECT_FALSE(opcsim::ParseWorld(
        R"({"servers": [{"progId": "P", "clsid": "{11111111-2222-3333-4444-555555555555}",
             "faults": {"results": {"AddGroup": "E_WHATEVER"}}}]})",
        error));
    EXPECT_NE(std::string::npos, error.find("E_WHATEVER"));
    EXPECT_FALSE(opcsim::ParseWorld("not json", error));
}

// A space of 100,000 items loads whole and every name of a large branch resolves to its id.
// (How fast: bench/opcsim_bench.cpp.)
TEST(AddressSpaceTest, LoadsAndBrowsesALargeSpace) {
    auto world =
        Parse(R"({"servers": [{"progId": "P", "clsid": "{11111111-2222-3333-4444-555555555555}",
        "space": [{"branch": "Line{n}", "repeat": 10, "children": [
                     {"item": "Tag{n}", "repeat": 10000, "type": "R4"}]}]}]})");
    ASSERT_TRUE(world);
    const auto& server = *world->servers[0];
    EXPECT_EQ(100000u, server.space->ItemCount());
    opcsim::BrowseCursor cursor(server.space, server);
    ASSERT_EQ(S_OK, cursor.Move(2, L"Line7"));
    Names names;
    ASSERT_EQ(S_OK, cursor.List(2, L"", VT_EMPTY, 0, names));
    EXPECT_EQ(10000u, names.size());
    std::wstring id;
    for (const std::wstring& name : names)
        ASSERT_EQ(S_OK, cursor.ItemId(name, id));
    EXPECT_EQ(L"Line7.Tag10000", id);
}

TEST(AddressSpaceTest, SharesNamedSpacesBetweenServers) {
    auto world = Parse(R"({"spaces": {"s": [{"item": "a"}]}, "servers": [
        {"progId": "P1", "clsid": "{11111111-2222-3333-4444-555555555555}", "space": "s"},
        {"progId": "P2", "clsid": "{11111111-2222-3333-4444-555555555556}", "space": "s"}]})");
    ASSERT_TRUE(world);
    EXPECT_EQ(1u, world->servers[1]->space->ItemCount());
    std::string error;
    EXPECT_FALSE(opcsim::ParseWorld(
        R"({"servers": [{"progId": "P", "clsid": "{11111111-2222-3333-4444-555555555555}", "space": "nope"}]})",
        error));
}

} // namespace

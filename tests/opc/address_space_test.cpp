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

// Results forced on one entry only: the branch that refuses entry or answers S_FALSE, the
// listing of one branch, the item whose id is refused; the same names elsewhere behave.
TEST(AddressSpaceTest, ForcesResultsOnSingleEntries) {
    auto world =
        Parse(R"({"servers": [{"progId": "P", "clsid": "{11111111-2222-3333-4444-555555555555}",
  "space": [
    {"branch": "Closed", "results": {"ChangeBrowsePosition": "E_ACCESSDENIED"},
     "children": [{"item": "x"}]},
    {"branch": "Odd", "results": {"BrowseOPCItemIDs:leaves": "S_FALSE",
                                  "ChangeBrowsePosition": "S_FALSE"},
     "children": [{"item": "x"}, {"item": "y", "results": {"GetItemID": "E_FAIL"}},
                  {"branch": "Closed", "children": [{"item": "x"}]}]},
    {"branch": "Gone", "results": {"BrowseOPCItemIDs": "E_OUTOFMEMORY"},
     "children": [{"item": "S{n}", "repeat": 2, "results": {"GetItemID": "S_FALSE"}}]}]}]})");
    ASSERT_TRUE(world);
    const auto& server = *world->servers[0];
    opcsim::BrowseCursor cursor(server.space, server);
    Names names;
    EXPECT_EQ(E_ACCESSDENIED, cursor.Move(2, L"Closed"));
    EXPECT_EQ(server.space->Root(), cursor.Position()) << "a refused move stays put";

    EXPECT_EQ(S_FALSE, cursor.Move(2, L"Odd")) << "entered, answering S_FALSE";
    EXPECT_EQ(S_FALSE, cursor.List(2, L"", VT_EMPTY, 0, names));
    EXPECT_EQ((Names{L"x", L"y"}), names) << "the leaves are listed all the same";
    EXPECT_EQ(S_OK, cursor.List(1, L"", VT_EMPTY, 0, names)) << "only the leaf listing";
    std::wstring id;
    EXPECT_EQ(S_OK, cursor.ItemId(L"x", id));
    EXPECT_EQ(E_FAIL, cursor.ItemId(L"y", id));
    EXPECT_EQ(S_OK, cursor.Move(2, L"Closed")) << "another branch of the same name";
    EXPECT_EQ(S_OK, cursor.Move(1, L""));
    EXPECT_EQ(S_OK, cursor.Move(1, L""));

    ASSERT_EQ(S_OK, cursor.Move(2, L"Gone"));
    EXPECT_EQ(E_OUTOFMEMORY, cursor.List(2, L"", VT_EMPTY, 0, names));
    EXPECT_EQ(E_OUTOFMEMORY, cursor.List(1, L"", VT_EMPTY, 0, names));
    EXPECT_EQ(S_FALSE, cursor.ItemId(L"S2", id)) << "repeated entries share their results";
    EXPECT_EQ(L"Gone.S2", id);
}

} // namespace

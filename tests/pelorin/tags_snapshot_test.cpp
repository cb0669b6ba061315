// The snapshot of a top-level branch against the simulated servers of worlds/tags.json: what it
// asks the server, in which order and in which batches, what it keeps, and what it gives back.
#include "tags_world.h"

#include <algorithm>
#include <set>

#include "tags/depth_limit.h"

namespace {

using pelorin::BrowseNode;
using pelorin::ItemIdMap;
using tagtest::CallLog;
using tagtest::ServerUnderTest;

std::vector<std::string> Only(const CallLog& log, const std::string& prefix) {
    std::vector<std::string> kept;
    for (const std::string& call : log)
        if (call.compare(0, prefix.size(), prefix) == 0)
            kept.push_back(call);
    return kept;
}

long Count(const CallLog& log, const std::string& call) {
    return static_cast<long>(std::count(log.begin(), log.end(), call));
}

// Successful moves down and moves up in a log.
long DownMoves(const CallLog& log) {
    long moves = 0;
    for (const std::string& call : log)
        if (call.compare(0, 5, "down ") == 0 && call.find(" refused") == std::string::npos)
            ++moves;
    return moves;
}

std::vector<std::string> MapIds(const ItemIdMap& map) {
    std::vector<std::string> ids;
    for (const BrowseNode* node : map.InWalkOrder())
        ids.push_back(node->ItemId());
    return ids;
}

void CollectNodes(const BrowseNode& node, std::set<const BrowseNode*>& nodes) {
    nodes.insert(&node);
    for (const auto* list : {&node.Branches(), &node.Leaves(), &node.NestedItems()})
        for (const auto& child : *list)
            CollectNodes(*child, nodes);
}

// A walk through a recording browse interface in front of a simulated server.
class Snapshot : public ::testing::Test {
protected:
    void Serve(const wchar_t* progId) {
        server_ = std::make_unique<ServerUnderTest>(progId);
        ASSERT_TRUE(server_->Ready()) << "the simulated server cannot be created";
        rootBranches_ = server_->BranchesHere();
        recording_ = tagtest::Recording(server_->browse.Get(), log_);
    }
    std::unique_ptr<BrowseNode> Take(const std::string& branch) {
        return std::make_unique<BrowseNode>(map_, recording_, branch, 0);
    }
    void TearDown() override {
        if (!server_)
            return;
        // Every walk leaves the server where it found it: at the root.
        EXPECT_EQ(rootBranches_, server_->BranchesHere());
        EXPECT_EQ(DownMoves(log_), Count(log_, "up"));
        recording_.Reset();
        EXPECT_TRUE(server_->ReleaseAndExpectNothingOutstanding());
    }

    std::unique_ptr<ServerUnderTest> server_;
    std::vector<std::wstring> rootBranches_;
    CallLog log_;
    pelorin::BrowseInterface recording_;
    ItemIdMap map_;
};

TEST_F(Snapshot, WalksTheBranchInTheServersOrderAndReturnsToWhereItStarted) {
    Serve(L"PelorinTags.Plant");
    const auto top = Take("Channel1");
    const CallLog expected = {
        "down Channel1", "branches", "next 100 -> 2 S_FALSE",
        // Device1: no sub-branches, two items that cannot be entered
        "down Device1", "branches S_FALSE", "next 100 -> 0 S_FALSE", "leaves",
        "next 100 -> 2 S_FALSE", "down Temp refused", "id Temp", "down Press refused", "id Press",
        "up",
        // Device2 has no items: its listing answers S_FALSE, and no name is asked for
        "down Device2", "branches S_FALSE", "next 100 -> 0 S_FALSE", "leaves S_FALSE", "up",
        // Channel1's own item
        "leaves", "next 100 -> 1 S_FALSE", "down Status refused", "id Status", "up"};
    EXPECT_EQ(expected, log_);
    EXPECT_EQ("Channel1", top->Name());
    EXPECT_EQ(0, top->Depth());
    EXPECT_EQ(std::vector<std::string>({"Device1", "Device2"}), tagtest::Names(top->Branches()));
    const BrowseNode& device = *top->Branches()[0];
    EXPECT_EQ(1, device.Depth());
    EXPECT_EQ("", device.ItemId());
    EXPECT_EQ(std::vector<std::string>({"Temp", "Press"}), tagtest::Names(device.Leaves()));
    EXPECT_EQ(std::vector<std::string>({"Channel1.Device1.Temp", "Channel1.Device1.Press"}),
              tagtest::ItemIds(device.Leaves()));
    EXPECT_EQ(2, device.Leaves()[0]->Depth());
    EXPECT_EQ(std::vector<std::string>({"Channel1.Status"}), tagtest::ItemIds(top->Leaves()));
    EXPECT_EQ(std::vector<std::string>(
                  {"Channel1.Device1.Temp", "Channel1.Device1.Press", "Channel1.Status"}),
              MapIds(map_));
    EXPECT_EQ(device.Leaves()[1].get(), map_.Find("Channel1.Device1.Press"));
}

TEST_F(Snapshot, AsksForNamesInBatchesOfAHundred) {
    Serve(L"PelorinTags.Plant");
    const long nextsBefore = server_->Nexts();
    const auto top = Take("Bulk");
    EXPECT_EQ(CallLog({"next 100 -> 0 S_FALSE", "next 100 -> 100", "next 100 -> 100",
                       "next 100 -> 50 S_FALSE"}),
              Only(log_, "next"));
    EXPECT_EQ(4, server_->Nexts() - nextsBefore); // the server counted the same calls
    ASSERT_EQ(250u, top->Leaves().size());
    EXPECT_EQ("Bulk.Item1", top->Leaves().front()->ItemId());
    EXPECT_EQ("Bulk.Item250", top->Leaves().back()->ItemId());
    EXPECT_EQ(250u, map_.Size());
    EXPECT_EQ(top->Leaves()[199].get(), map_.Find("Bulk.Item200"));
    EXPECT_EQ(nullptr, map_.Find("Bulk.Item251"));
    // Every item costs one attempted move down and one GetItemID; only the branch is entered.
    EXPECT_EQ(250u, Only(log_, "down Item").size());
    EXPECT_EQ(250u, Only(log_, "id Item").size());
    EXPECT_EQ(1, Count(log_, "up"));
}

TEST_F(Snapshot, ItemsWithItemsOfTheirOwnAreKeptAsideAndTheirItemsMapped) {
    Serve(L"PelorinTags.Plant");
    const auto top = Take("Plant");
    ASSERT_EQ(std::vector<std::string>({"Line1", "Line2"}), tagtest::Names(top->Branches()));
    const BrowseNode& line = *top->Branches()[0];
    // Motor has items: it is neither a leaf nor in the map, but its items are.
    ASSERT_EQ(std::vector<std::string>({"Motor"}), tagtest::Names(line.NestedItems()));
    const BrowseNode& motor = *line.NestedItems()[0];
    EXPECT_EQ("", motor.ItemId());
    EXPECT_EQ(std::vector<std::string>({"Plant.Line1.Motor.Speed", "Plant.Line1.Motor.Current"}),
              tagtest::ItemIds(motor.Leaves()));
    EXPECT_EQ(nullptr, map_.Find("Plant.Line1.Motor"));
    // Pump can be entered but holds only a branch: it is an item with its own id.
    EXPECT_EQ(std::vector<std::string>({"Plant.Line1.Temp", "Plant.Line1.Pump"}),
              tagtest::ItemIds(line.Leaves()));
    EXPECT_EQ(std::vector<std::string>({"Plant.Line1.Deep.Level", "Plant.Line1.Temp",
                                        "Plant.Line1.Motor.Speed", "Plant.Line1.Motor.Current",
                                        "Plant.Line1.Pump.Inside.Flow", "Plant.Line1.Pump",
                                        "Plant.Line2.Temp", "Plant.Heartbeat"}),
              MapIds(map_));
}

TEST_F(Snapshot, ALaterItemWithTheSameIdTakesTheEntryBothStayLeaves) {
    Serve(L"PelorinTags.Plant");
    const auto top = Take("Dups");
    const BrowseNode& one = *top->Branches()[0];
    const BrowseNode& two = *top->Branches()[1];
    EXPECT_EQ(std::vector<std::string>({"Same.Id", "Dups.One.Own"}),
              tagtest::ItemIds(one.Leaves()));
    EXPECT_EQ(std::vector<std::string>({"Same.Id"}), tagtest::ItemIds(two.Leaves()));
    // One entry per id, where the id first appeared, holding the node entered last.
    EXPECT_EQ(std::vector<std::string>({"Same.Id", "Dups.One.Own"}), MapIds(map_));
    EXPECT_EQ(two.Leaves()[0].get(), map_.Find("Same.Id"));
    EXPECT_EQ("B", map_.Find("Same.Id")->Name());
}

TEST_F(Snapshot, ABranchTheServerRefusesGivesNothingAndMovesNothing) {
    Serve(L"PelorinTags.RefuseDown");
    const auto top = Take("Plant");
    EXPECT_EQ(CallLog({"down Plant refused"}), log_);
    EXPECT_TRUE(top->Branches().empty() && top->Leaves().empty() && top->NestedItems().empty());
    EXPECT_TRUE(map_.Empty());
    EXPECT_EQ(tagtest::PlantRootBranches(), server_->BranchesHere());
}

TEST_F(Snapshot, AnItemListingOtherThanSOkReadsNoNames) {
    // Every listing answers S_FALSE: branch listings are still read, item listings are not.
    Serve(L"PelorinTags.SFalse");
    const auto top = Take("Channel1");
    const CallLog expected = {"down Channel1",
                              "branches S_FALSE",
                              "next 100 -> 2 S_FALSE",
                              "down Device1",
                              "branches S_FALSE",
                              "next 100 -> 0 S_FALSE",
                              "leaves S_FALSE",
                              "up",
                              "down Device2",
                              "branches S_FALSE",
                              "next 100 -> 0 S_FALSE",
                              "leaves S_FALSE",
                              "up",
                              "leaves S_FALSE",
                              "up"};
    EXPECT_EQ(expected, log_);
    EXPECT_EQ(2u, top->Branches().size());
    EXPECT_TRUE(map_.Empty());
}

TEST_F(Snapshot, AFailedBranchListingTakesNoItemsButStillMovesUp) {
    Serve(L"PelorinTags.BranchesFail");
    const auto top = Take("Channel1");
    EXPECT_EQ(CallLog({"down Channel1", "branches refused", "up"}), log_);
    EXPECT_TRUE(top->Leaves().empty());
}

TEST_F(Snapshot, AnItemWhoseIdCannotBeHadIsDropped) {
    Serve(L"PelorinTags.ItemIdFails"); // GetItemID fails for "Temp" and "Pump"
    const auto top = Take("Channel1");
    EXPECT_EQ(std::vector<std::string>({"Channel1.Device1.Press"}),
              tagtest::ItemIds(top->Branches()[0]->Leaves()));
    EXPECT_EQ(std::vector<std::string>({"Channel1.Device1.Press", "Channel1.Status"}),
              MapIds(map_));
}

TEST_F(Snapshot, AnEnteredItemWithoutIdKeepsTheNodesTheMapPointsAt) {
    // Pump can be entered and its branch holds Flow, which is in the map; Pump's own id cannot
    // be had. Deleting Pump would leave the map pointing at a freed node.
    Serve(L"PelorinTags.ItemIdFails");
    const auto top = Take("Plant");
    const BrowseNode& line = *top->Branches()[0];
    EXPECT_EQ(std::vector<std::string>({"Motor", "Pump"}), tagtest::Names(line.NestedItems()));
    EXPECT_TRUE(line.Leaves().empty()); // Temp dropped, Pump kept aside
    std::set<const BrowseNode*> inTree;
    CollectNodes(*top, inTree);
    ASSERT_NE(nullptr, map_.Find("Plant.Line1.Pump.Inside.Flow"));
    for (const BrowseNode* node : map_.InWalkOrder())
        EXPECT_TRUE(inTree.count(node)) << "the map holds a node the tree does not own";
}

TEST_F(Snapshot, EveryNameAndIdTheServerHandsOutIsFreed) {
    Serve(L"PelorinTags.Plant");
    tagtest::TaskMemoryWatch watch;
    ASSERT_TRUE(watch.Active()) << "CoRegisterMallocSpy failed";
    size_t items = 0;
    for (const std::string& branch : {std::string("Plant"), std::string("Bulk"),
                                      std::string("Channel1"), tagtest::Ansi(L"锅炉房")}) {
        ItemIdMap map; // a map lives no longer than its tree
        BrowseNode top(map, recording_, branch, 0);
        items += map.Size();
    }
    EXPECT_EQ(262u, items);
    EXPECT_EQ(0, watch.Live());
}

TEST_F(Snapshot, ANextClaimingMoreNamesThanAskedIsReadOnlyAsFarAsAsked) {
    Serve(L"PelorinTags.NextExtra"); // a full batch claims 7 names more than it holds
    tagtest::TaskMemoryWatch watch;
    ASSERT_TRUE(watch.Active());
    const auto top = Take("Bulk");
    EXPECT_EQ(CallLog({"next 100 -> 0 S_FALSE", "next 100 -> 107", "next 100 -> 107",
                       "next 100 -> 50 S_FALSE"}),
              Only(log_, "next"));
    ASSERT_EQ(250u, top->Leaves().size());
    EXPECT_EQ(250u, map_.Size());
    EXPECT_EQ("Bulk.Item101", top->Leaves()[100]->ItemId());
    EXPECT_EQ(0, watch.Live());
}

TEST_F(Snapshot, NamesTheServerHandsOutAsNullAreSkipped) {
    Serve(L"PelorinTags.NullNames"); // every second name of a batch is null
    const auto top = Take("Bulk");
    EXPECT_EQ(125u, top->Leaves().size());
    EXPECT_EQ(0, Count(log_, "down (null) refused"));
    EXPECT_EQ("Bulk.Item1", top->Leaves()[0]->ItemId());
    EXPECT_EQ("Bulk.Item3", top->Leaves()[1]->ItemId());
}

TEST_F(Snapshot, ChineseNamesComeThroughTheAnsiCodePage) {
    Serve(L"PelorinTags.Plant");
    const auto top = Take(tagtest::Ansi(L"锅炉房"));
    ASSERT_EQ(1u, top->Branches().size());
    EXPECT_EQ(tagtest::Ansi(L"一号"), top->Branches()[0]->Name());
    EXPECT_EQ(std::vector<std::string>({tagtest::Ansi(L"锅炉房.一号.温度")}), MapIds(map_));
}

TEST_F(Snapshot, AServerWithoutABottomEndsWithABoundedTree) {
    // Every move down succeeds and each level lists the same item again.
    Serve(L"PelorinTags.Bottomless");
    const auto top = Take("Abyss");
    EXPECT_EQ(pelorin::kMaxSnapshotDepth, tagtest::MaxDepth(*top));
    EXPECT_EQ(static_cast<size_t>(pelorin::kMaxSnapshotDepth) + 1, tagtest::CountNodes(*top));
    EXPECT_EQ(pelorin::kMaxSnapshotDepth, DownMoves(log_));
    EXPECT_EQ(std::vector<std::wstring>({L"Abyss", L"Fanout"}), server_->BranchesHere());
}

TEST(SnapshotBounds, AServerWithoutABottomAndTwoNamesOnEveryLevelStopsAtTheNameBudget) {
    // Each level lists two items that can be entered again: without a bound on the nodes the
    // walk would visit 2^64 of them.
    ServerUnderTest server(L"PelorinTags.Bottomless");
    ASSERT_TRUE(server.Ready());
    ItemIdMap map;
    {
        BrowseNode top(map, server.browse, "Fanout", 0);
        EXPECT_LE(tagtest::CountNodes(top), pelorin::kMaxSnapshotNames + 1);
        EXPECT_GT(tagtest::CountNodes(top), pelorin::kMaxSnapshotNames / 2);
        EXPECT_EQ(pelorin::kMaxSnapshotDepth, tagtest::MaxDepth(top));
    }
    EXPECT_EQ(std::vector<std::wstring>({L"Abyss", L"Fanout"}), server.BranchesHere());
    EXPECT_TRUE(server.ReleaseAndExpectNothingOutstanding());
}

TEST(SnapshotBounds, AServerWithoutABottomAndHugeNamesStopsAtTheCharacterBudget) {
    // Every name is 65536 characters long and every move down succeeds: bounded by the count of
    // names alone, the walk would keep a million of them, far more than the process can hold.
    ServerUnderTest server(L"PelorinTags.HugeAbyss");
    ASSERT_TRUE(server.Ready());
    const size_t budgetNames = pelorin::kMaxSnapshotChars / 65536;
    ItemIdMap map;
    {
        BrowseNode top(map, server.browse, "Fanout", 0);
        EXPECT_TRUE(map.Empty()) << "no id for a name the server does not know";
    }
    // One move down tried per name taken, one move up per move that succeeded.
    EXPECT_GT(server.Moves(), static_cast<long>(budgetNames)) << "the budget, not the depth";
    EXPECT_LE(server.Moves(), static_cast<long>(2 * (budgetNames + 1)));
    EXPECT_TRUE(server.ReleaseAndExpectNothingOutstanding());
}

TEST_F(Snapshot, WithoutABrowseInterfaceTheNodeStaysEmpty) {
    const pelorin::BrowseInterface none;
    BrowseNode top(map_, none, "Channel1", 0);
    EXPECT_EQ("Channel1", top.Name());
    EXPECT_TRUE(top.Branches().empty() && top.Leaves().empty() && map_.Empty());
}

TEST(SnapshotAcrossProcesses, GivesTheSameTreeAndLeavesNothingBehind) {
    ServerUnderTest server(L"PelorinTags.Plant.Local");
    ASSERT_TRUE(server.Ready());
    ItemIdMap map;
    {
        BrowseNode top(map, server.browse, "Plant", 0);
        EXPECT_EQ(8u, map.Size());
        EXPECT_EQ(std::vector<std::string>({"Motor"}),
                  tagtest::Names(top.Branches()[0]->NestedItems()));
    }
    EXPECT_EQ(tagtest::PlantRootBranches(), server.BranchesHere());
    EXPECT_TRUE(server.ReleaseAndExpectNothingOutstanding());
}

TEST(SnapshotDepthLimit, StartsWithoutABound) {
    EXPECT_EQ(pelorin::kNoDepthLimit, pelorin::SnapshotDepthLimit());
}

} // namespace

// After the hidden Advance button: the snapshot depth limit is 1 for good, in every later
// snapshot of the loaded plug-in. A program of its own, since nothing sets the limit back.
#include "tags_dialog_stand_in.h"

#include <algorithm>

#include "tags/depth_limit.h"

namespace {

using Names = std::vector<std::string>;

TEST(DepthLimitOne, TakesOnlyTheItemsOfTheSubBranches) {
    pelorin::LimitSnapshotsToSubBranchItems();
    tagtest::ServerUnderTest server(L"PelorinTags.Plant");
    ASSERT_TRUE(server.Ready());
    tagtest::CallLog log;
    const pelorin::BrowseInterface recording = tagtest::Recording(server.browse.Get(), log);
    pelorin::ItemIdMap map;
    {
        pelorin::BrowseNode top(map, recording, "Plant", 0);
        // Plant's own item Heartbeat is not asked for, nor is Line1's branch Deep entered.
        EXPECT_TRUE(top.Leaves().empty());
        EXPECT_TRUE(top.Branches()[0]->Branches().empty());
        EXPECT_EQ(Names({"Plant.Line1.Temp", "Plant.Line1.Pump"}),
                  tagtest::ItemIds(top.Branches()[0]->Leaves()));
    }
    EXPECT_EQ(log.end(), std::find(log.begin(), log.end(), "down Deep"));
    EXPECT_EQ(log.end(), std::find(log.begin(), log.end(), "down Heartbeat refused"));
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "branches")); // the top node's only
    EXPECT_EQ(tagtest::PlantRootBranches(), server.BranchesHere());
}

TEST(Advance, MakesTagsOnlyTwoLevelsDownAndTellsNothing) {
    tagtest::DialogStandIn dialog(L"PelorinTags.Plant");
    dialog.MakeOpcTagsAdvanced({"Channel1", "Plant"});
    EXPECT_EQ(1, pelorin::SnapshotDepthLimit());
    EXPECT_EQ(Names({"Channel1Device1Temp", "Channel1Device1Press", "PlantLine1Temp",
                     "PlantLine1MotorSpeed", "PlantLine1MotorCurrent", "PlantLine1Pump",
                     "PlantLine2Temp"}),
              dialog.TagNames());
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(1, dialog.fills);
}

TEST(Advance, ThenMakeOpcTagKeepsTheLimit) {
    tagtest::DialogStandIn dialog(L"PelorinTags.Plant");
    dialog.MakeOpcTagsAdvanced({"Dups"});
    dialog.MakeOpcTags({"Channel1"});
    EXPECT_EQ(1, pelorin::SnapshotDepthLimit());
    // Channel1's own item Status is one level down: not taken.
    EXPECT_EQ(Names({"SameId", "DupsOneOwn", "Channel1Device1Temp", "Channel1Device1Press"}),
              dialog.TagNames());
    EXPECT_EQ(std::vector<std::wstring>({tagtest::TagsMadeText(4)}), dialog.messages);
}

TEST(Advance, AFullDeviceStopsTheRunWithoutAWord) {
    tagtest::DialogStandIn dialog(L"PelorinTags.Plant", 3999);
    dialog.MakeOpcTagsAdvanced({"Channel1", "Dups"});
    EXPECT_EQ(Names({"Channel1Device1Temp"}), dialog.TagNames());
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(1, dialog.fills);
}

} // namespace

// Make OPC Tag over a simulated server and the host's tag database (with the host's policies):
// names, aliases, links, the 4000-tag limit and what the engineer is told.
#include "tags_dialog_stand_in.h"

namespace {

using Names = std::vector<std::string>;
using Texts = std::vector<std::wstring>;
using tagtest::Ansi;
using tagtest::DialogStandIn;

TEST(MakeOpcTags, MakesOneTagPerItemNamedWithTheAliasAndLinkedToPv) {
    DialogStandIn dialog(L"PelorinTags.Plant");
    dialog.aliases["Channel1"] = "CH1";
    dialog.MakeOpcTags({"Channel1"});
    EXPECT_EQ(Names({"CH1Device1Temp", "CH1Device1Press", "CH1Status"}), dialog.TagNames());
    EXPECT_EQ("Channel1.Device1.Temp", dialog.PvOf("CH1Device1Temp"));
    EXPECT_EQ("Channel1.Status", dialog.PvOf("CH1Status"));
    EXPECT_EQ("", dialog.database.At(0)->Data().description);
    EXPECT_EQ(1, dialog.fills);
    EXPECT_EQ(3, dialog.shownTagCount);
    EXPECT_EQ(Texts({tagtest::TagsMadeText(3)}), dialog.messages);
    dialog.browse.Reset();
    EXPECT_TRUE(dialog.server->ReleaseAndExpectNothingOutstanding());
}

TEST(MakeOpcTags, TakesEveryTopLevelBranchInTreeOrder) {
    DialogStandIn dialog(L"PelorinTags.Plant");
    dialog.MakeOpcTags({"Channel1", "Dups"});
    // One tag per distinct item id: the two items of Same.Id make one tag.
    EXPECT_EQ(Names({"Channel1Device1Temp", "Channel1Device1Press", "Channel1Status", "SameId",
                     "DupsOneOwn"}),
              dialog.TagNames());
    EXPECT_EQ("Same.Id", dialog.PvOf("SameId"));
    EXPECT_EQ(Texts({tagtest::TagsMadeText(5)}), dialog.messages);
}

TEST(MakeOpcTags, NamesLoseDotsAndBangsAndTheHostRefusesATakenName) {
    // Dev!Tag, X.YZ, XY.Z, Names.Names.Twice, names.Low: X.YZ and XY.Z both give XYZ, and the
    // host refuses the second; it is neither linked nor counted.
    DialogStandIn dialog(L"PelorinTags.Plant");
    dialog.MakeOpcTags({"Names"});
    EXPECT_EQ(Names({"DevTag", "XYZ", "NamesNamesTwice", "namesLow"}), dialog.TagNames());
    EXPECT_EQ("X.YZ", dialog.PvOf("XYZ"));
    EXPECT_EQ(nullptr, dialog.database.LinkOwner("XY.Z"));
    EXPECT_EQ(Texts({tagtest::TagsMadeText(4)}), dialog.messages);
}

TEST(MakeOpcTags, AnEmptyAliasOrTheEmptyKeyLeavesNamesAsTheyAre) {
    DialogStandIn dialog(L"PelorinTags.Plant");
    pelorin::ParseAliasText("Names;\n;Other\n", dialog.aliases);
    ASSERT_EQ(2u, dialog.aliases.size());
    dialog.MakeOpcTags({"Names"});
    EXPECT_EQ(Names({"DevTag", "XYZ", "NamesNamesTwice", "namesLow"}), dialog.TagNames());
}

TEST(MakeOpcTags, ChineseBranchesAndAliases) {
    DialogStandIn dialog(L"PelorinTags.Plant");
    dialog.aliases[Ansi(L"锅炉房")] = Ansi(L"锅炉");
    dialog.MakeOpcTags({Ansi(L"锅炉房")});
    EXPECT_EQ(Names({Ansi(L"锅炉一号温度")}), dialog.TagNames());
    EXPECT_EQ(Ansi(L"锅炉房.一号.温度"), dialog.PvOf(Ansi(L"锅炉一号温度")));
}

TEST(TagLimit, ADeviceShowing3999TagsGetsExactlyOneMoreAndIsToldItIsFull) {
    DialogStandIn dialog(L"PelorinTags.Plant", 3999);
    dialog.MakeOpcTags({"Bulk", "Channel1"});
    EXPECT_EQ(Names({"BulkItem1"}), dialog.TagNames());
    EXPECT_EQ(4000, dialog.shownTagCount);
    EXPECT_EQ(Texts({tagtest::DeviceFullText()}), dialog.messages);
    EXPECT_EQ(1, dialog.fills);
}

TEST(TagLimit, ADeviceShowing4000TagsGetsNone) {
    DialogStandIn dialog(L"PelorinTags.Plant", 4000);
    dialog.MakeOpcTags({"Channel1"});
    EXPECT_TRUE(dialog.TagNames().empty());
    EXPECT_EQ(Texts({tagtest::DeviceFullText()}), dialog.messages);
}

TEST(TagLimit, ABranchWithExactlyTheRemainingCountIsMadeWholeAndTheDeviceIsFull) {
    DialogStandIn dialog(L"PelorinTags.Plant", 3800);
    dialog.MakeOpcTags({"Exact", "Channel1"}); // Exact has 200 items
    const Names made = dialog.TagNames();
    ASSERT_EQ(200u, made.size());
    EXPECT_EQ("ExactItem200", made.back());
    EXPECT_EQ(Texts({tagtest::DeviceFullText()}), dialog.messages);
}

TEST(TagLimit, StopsAtTheSameItemsEveryTime) {
    // The items handled before the limit are the first ones of the walk.
    DialogStandIn dialog(L"PelorinTags.Plant", 3997);
    dialog.MakeOpcTags({"Plant"});
    EXPECT_EQ(Names({"PlantLine1DeepLevel", "PlantLine1Temp", "PlantLine1MotorSpeed"}),
              dialog.TagNames());
}

TEST(TagLimit, ATagWhoseLinkTheHostRefusesStillCounts) {
    DialogStandIn dialog(L"PelorinTags.Plant", 3997);
    std::string error;
    ASSERT_TRUE(dialog.database.Load(
        {host::TagData{"Old", "", false, {{"PV", "Channel1.Device1.Temp", 0, 0, 0, 0}}}}, error))
        << error;
    dialog.FillLinkGrid(); // 3998 shown
    dialog.fills = 0;
    dialog.MakeOpcTags({"Channel1"});
    EXPECT_EQ(Names({"Old", "Channel1Device1Temp", "Channel1Device1Press"}), dialog.TagNames());
    EXPECT_EQ("(none)", dialog.PvOf("Channel1Device1Temp"));
    EXPECT_EQ(Texts({tagtest::LinkRefusedText("Channel1.Device1.Temp"), tagtest::DeviceFullText()}),
              dialog.messages);
}

TEST(MakeOpcTags, WithoutABrowseInterfaceMakesNothingButRefillsAndTells) {
    DialogStandIn dialog(nullptr, 12);
    dialog.MakeOpcTags({"Channel1"});
    EXPECT_TRUE(dialog.TagNames().empty());
    EXPECT_EQ(1, dialog.fills);
    EXPECT_EQ(Texts({tagtest::TagsMadeText(12)}), dialog.messages);
}

TEST(MakeOpcTags, WithoutTheHostsTagDatabaseMakesNothing) {
    DialogStandIn dialog(L"PelorinTags.Plant");
    pelorin::TagRun run = dialog.Run();
    run.tagDatabase = nullptr;
    pelorin::MakeOpcTags(run, {"Channel1"});
    EXPECT_EQ(Texts({tagtest::TagsMadeText(0)}), dialog.messages);
}

TEST(MakeOpcTags, AcrossProcesses) {
    DialogStandIn dialog(L"PelorinTags.Plant.Local");
    dialog.MakeOpcTags({"Channel1"});
    EXPECT_EQ(Names({"Channel1Device1Temp", "Channel1Device1Press", "Channel1Status"}),
              dialog.TagNames());
    dialog.browse.Reset();
    EXPECT_TRUE(dialog.server->ReleaseAndExpectNothingOutstanding());
}

TEST(CreateTagsForBranch, IsStoppedWhenTheCountReachesTheLimitEvenWithTheLastItem) {
    DialogStandIn below(L"PelorinTags.Plant", 3997);
    pelorin::TagRun run = below.Run();
    EXPECT_TRUE(pelorin::CreateTagsForBranch(run, "Dups", "")); // two ids: 3999
    EXPECT_EQ(3999, below.shownTagCount);

    DialogStandIn at(L"PelorinTags.Plant", 3998);
    pelorin::TagRun full = at.Run();
    EXPECT_FALSE(pelorin::CreateTagsForBranch(full, "Dups", "")); // 4000 with the last one
    EXPECT_EQ(Names({"SameId", "DupsOneOwn"}), at.TagNames());
    EXPECT_TRUE(at.messages.empty() && at.fills == 0);
}

} // namespace

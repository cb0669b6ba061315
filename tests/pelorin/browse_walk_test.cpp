// The browse panel's plain parts against simulated servers in this process: which branches a
// tree item stands for, walks down and exactly back up, names read in batches and each freed,
// and what a server's refusals and hostile answers leave.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "itemlink/address_space_browser.h"
#include "itemlink/tree_path.h"
#include "sim_server.h"
#include "sim_world.h"

namespace {

using Microsoft::WRL::ComPtr;
using pelorin::AddressSpaceBrowser;
using pelorin::BrowseWalk;
using pelorin::PathBelowRoot;
using simtest::CallsOf;
using simtest::PrivateServer;
using Names = std::vector<std::wstring>;

const wchar_t kMoves[] = L"IOPCBrowseServerAddressSpace::ChangeBrowsePosition";
const wchar_t kNext[] = L"IEnumString::Next";

// A tree of items numbered from 1, each with its parent and text.
class FakeTree final : public pelorin::TreeLinks {
public:
    HTREEITEM Add(HTREEITEM parent, const std::wstring& text) {
        const auto item = reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>(items_.size() + 1));
        items_[item] = {parent, text};
        return item;
    }
    HTREEITEM Parent(HTREEITEM item) const override { return items_.at(item).first; }
    std::wstring Text(HTREEITEM item) const override { return items_.at(item).second; }

private:
    std::map<HTREEITEM, std::pair<HTREEITEM, std::wstring>> items_;
};

// Only the tree's own root item stands for the server's root; a branch that the server named
// "Root" is entered like any other.
TEST(TreePath, StepsOverTheTreesRootItemOnly) {
    FakeTree tree;
    const HTREEITEM root = tree.Add(nullptr, L"Root");
    const HTREEITEM channel = tree.Add(root, L"Channel1");
    const HTREEITEM named = tree.Add(channel, L"Root");
    const HTREEITEM deep = tree.Add(named, L"Device");
    EXPECT_EQ((Names{L"Channel1", L"Root", L"Device"}), PathBelowRoot(tree, root, deep));
    EXPECT_EQ((Names{L"Channel1", L"Root"}), PathBelowRoot(tree, root, named));
    EXPECT_EQ(Names{}, PathBelowRoot(tree, root, root));
    EXPECT_EQ(Names{}, PathBelowRoot(tree, root, nullptr));
}

// Nested branches B1/B2/.../Bn, each with the leaf "Value".
std::string DeepSpace(int levels) {
    std::string space = "{\"item\": \"Value\", \"type\": \"I4\"}";
    for (int level = levels; level >= 1; --level)
        space = "{\"branch\": \"B" + std::to_string(level) +
                "\", \"children\": [{\"item\": \"Value\"}" + (level < levels ? ", " + space : "") +
                "]}";
    return "\"space\": [" + space + ", {\"item\": \"Top\"}]";
}

Names Levels(int from, int to) {
    Names path;
    for (int level = from; level <= to; ++level)
        path.push_back(L"B" + std::to_wstring(level));
    return path;
}

class BrowserTest : public ::testing::Test {
protected:
    void Serve(const std::string& members) {
        sim_ = std::make_unique<PrivateServer>("ItemLinkTest",
                                               "\"activation\": \"inproc\", " + members);
        ASSERT_TRUE(sim_->Ready()) << sim_->Error();
        ASSERT_EQ(S_OK, simtest::CreateServer(sim_->ProgId(), IID_PPV_ARGS(&server_)));
        stats_ = simtest::StatsOf(server_.Get());
        ASSERT_TRUE(stats_);
        ASSERT_EQ(S_OK, browser_.Attach(server_.Get()));
    }
    Names Leaves() {
        Names names;
        browser_.Browse(OPC_LEAF, L"*", VT_EMPTY, names);
        return names;
    }
    void TearDown() override {
        browser_.Reset();
        server_.Reset();
        if (stats_) {
            LONG objects = -1, references = -1, sinks = -1;
            ASSERT_EQ(S_OK, stats_->GetOutstanding(&objects, &references, &sinks));
            EXPECT_EQ(0, objects) << "every enumerator and the server are let go";
            EXPECT_EQ(0, references);
        }
        stats_.Reset();
        sim_.reset();
    }

    std::unique_ptr<PrivateServer> sim_;
    ComPtr<IOPCServer> server_;
    ComPtr<IOpcSimStats> stats_;
    AddressSpaceBrowser browser_;
};

TEST_F(BrowserTest, NamesComeInBatchesOfAHundredInTheServersOrder) {
    Serve("\"space\": [{\"item\": \"Tag{n}\", \"repeat\": 250}]");
    const Names names = Leaves();
    ASSERT_EQ(250u, names.size());
    EXPECT_EQ(L"Tag1", names.front());
    EXPECT_EQ(L"Tag250", names.back());
    EXPECT_EQ(3, CallsOf(stats_.Get(), kNext)) << "100, 100, then 50 with S_FALSE";
}

TEST_F(BrowserTest, ABranchNamedRootBelowTheTopIsEnteredAndGivesItsOwnIds) {
    Serve("\"space\": [{\"branch\": \"Channel1\", \"children\": ["
          "{\"item\": \"Speed\"}, {\"branch\": \"Root\", \"children\": [{\"item\": \"Speed\"}, "
          "{\"item\": \"Torque\"}]}]}]");
    FakeTree tree;
    const HTREEITEM root = tree.Add(nullptr, L"Root");
    const HTREEITEM named = tree.Add(tree.Add(root, L"Channel1"), L"Root");
    {
        BrowseWalk walk(browser_, PathBelowRoot(tree, root, named));
        ASSERT_EQ(S_OK, walk.Result());
        EXPECT_EQ((Names{L"Speed", L"Torque"}), Leaves());
        std::wstring id;
        ASSERT_EQ(S_OK, browser_.GetItemId(L"Speed", id));
        EXPECT_EQ(L"Channel1.Root.Speed", id);
    }
    EXPECT_EQ(Names{}, Leaves()) << "back at the server's root, which has no leaves";
}

// Twelve levels down and exactly twelve back: every later handler starts from the root.
TEST_F(BrowserTest, WalkReturnsToTheRootFromBelowTenLevels) {
    Serve(DeepSpace(12));
    {
        BrowseWalk walk(browser_, Levels(1, 12));
        ASSERT_EQ(S_OK, walk.Result());
        EXPECT_EQ(12u, walk.Levels());
        std::wstring id;
        ASSERT_EQ(S_OK, browser_.GetItemId(L"Value", id));
        EXPECT_EQ(L"B1.B2.B3.B4.B5.B6.B7.B8.B9.B10.B11.B12.Value", id);
    }
    EXPECT_EQ(24, CallsOf(stats_.Get(), kMoves));
    EXPECT_EQ(Names{L"Top"}, Leaves());
}

TEST_F(BrowserTest, RefusedStepUndoesOnlyTheLevelsEntered) {
    Serve(DeepSpace(4) + ", \"faults\": {\"refuseDown\": [\"B3\"]}");
    {
        BrowseWalk walk(browser_, Levels(1, 4));
        EXPECT_EQ(E_INVALIDARG, walk.Result());
        EXPECT_EQ(2u, walk.Levels());
    }
    EXPECT_EQ(3 + 2, CallsOf(stats_.Get(), kMoves)) << "two down, a refused one, two up";
    EXPECT_EQ(Names{L"Top"}, Leaves());
}

// A server where every move down succeeds cannot make the walk back loop.
TEST_F(BrowserTest, BottomlessServerIsWalkedBackTheSameNumberOfLevels) {
    Serve("\"space\": [{\"branch\": \"A\", \"children\": [{\"item\": \"X\"}]}], "
          "\"faults\": {\"bottomless\": true}");
    {
        BrowseWalk walk(browser_, Names(15, L"A"));
        EXPECT_EQ(S_OK, walk.Result());
    }
    EXPECT_EQ(30, CallsOf(stats_.Get(), kMoves));
    EXPECT_EQ(S_OK, browser_.MoveDown(L"A"));
    EXPECT_EQ((Names{L"X"}), Leaves()) << "one level below the root again";
}

TEST_F(BrowserTest, WithoutBrowseInterfaceEveryCallFailsAndTheWalkMovesNothing) {
    AddressSpaceBrowser none;
    EXPECT_FALSE(none.Available());
    BrowseWalk walk(none, Levels(1, 2));
    EXPECT_EQ(E_FAIL, walk.Result());
    EXPECT_EQ(0u, walk.Levels());
    Names names{L"stale"};
    EXPECT_EQ(E_FAIL, none.Browse(OPC_LEAF, L"*", VT_EMPTY, names));
    EXPECT_TRUE(names.empty());
    std::wstring id = L"stale";
    EXPECT_EQ(E_FAIL, none.GetItemId(L"X", id));
    EXPECT_TRUE(id.empty());
}

TEST_F(BrowserTest, GetItemIdFailsForRefusedNamesAndEmptyAnswers) {
    Serve("\"space\": [{\"item\": \"Good\"}, {\"item\": \"Bad\"}], "
          "\"faults\": {\"getItemIdFails\": [\"Bad\"]}");
    std::wstring id;
    EXPECT_EQ(S_OK, browser_.GetItemId(L"Good", id));
    EXPECT_EQ(L"Good", id);
    EXPECT_TRUE(FAILED(browser_.GetItemId(L"Bad", id)));
    EXPECT_TRUE(id.empty());
}

TEST_F(BrowserTest, SuccessWithoutAnIdIsNoId) {
    Serve("\"space\": [{\"item\": \"Good\"}], \"faults\": {\"nullOut\": [\"GetItemID\", "
          "\"BrowseOPCItemIDs\"]}");
    std::wstring id = L"stale";
    EXPECT_TRUE(FAILED(browser_.GetItemId(L"Good", id)));
    EXPECT_TRUE(id.empty());
    EXPECT_EQ(Names{}, Leaves()) << "success without a list lists nothing";
}

// A server that claims more names than asked, or hands out holes, gives what it really wrote.
TEST_F(BrowserTest, HostileEnumerationsGiveOnlyTheNamesTheyHold) {
    Serve("\"space\": [{\"item\": \"N{n}\", \"repeat\": 130}], "
          "\"faults\": {\"nextExtra\": 5, \"nullNames\": true}");
    const Names names = Leaves();
    EXPECT_FALSE(names.empty());
    EXPECT_LE(names.size(), 130u);
    for (const std::wstring& name : names)
        EXPECT_EQ(L'N', name[0]);
}

TEST_F(BrowserTest, FlatServerAnswersTheOrganizationAndMovesNowhere) {
    Serve(
        "\"organization\": \"flat\", \"space\": [{\"item\": \"PLC1!A\"}, {\"item\": \"PLC1!B\"}]");
    OPCNAMESPACETYPE type = OPC_NS_HIERARCHIAL;
    ASSERT_EQ(S_OK, browser_.QueryOrganization(type));
    EXPECT_EQ(OPC_NS_FLAT, type);
    Names names;
    EXPECT_EQ(S_OK, browser_.Browse(OPC_FLAT, L"*B", VT_EMPTY, names));
    EXPECT_EQ(Names{L"PLC1!B"}, names);
    BrowseWalk walk(browser_, Names{L"PLC1"});
    EXPECT_TRUE(FAILED(walk.Result()));
}

} // namespace

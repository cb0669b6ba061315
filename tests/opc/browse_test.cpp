// Browsing a simulated server's address space as the OPC DA 2.0 standard describes it, in
// process and through our proxy/stub from another process.
#include "com_helpers.h"

#include <opcerror.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace opctest {
namespace {

using Names = std::vector<std::wstring>;

class BrowseTest : public testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server_)));
        ASSERT_EQ(S_OK, server_.As(&browse_));
    }
    std::wstring ItemId(const wchar_t* name) {
        LPWSTR id = nullptr;
        const HRESULT hr = browse_->GetItemID(const_cast<LPWSTR>(name), &id);
        TaskString owned(id);
        if (FAILED(hr))
            return L"failed";
        return owned ? owned.get() : L"(null)";
    }
    HRESULT Down(const wchar_t* name) {
        return browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, name);
    }
    HRESULT Up() { return browse_->ChangeBrowsePosition(OPC_BROWSE_UP, L""); }

    ComPtr<IOPCServer> server_;
    ComPtr<IOPCBrowseServerAddressSpace> browse_;
};

TEST_P(BrowseTest, ReportsAHierarchicalSpace) {
    OPCNAMESPACETYPE type = OPC_NS_FLAT;
    EXPECT_EQ(S_OK, browse_->QueryOrganization(&type));
    EXPECT_EQ(OPC_NS_HIERARCHIAL, type);
}

TEST_P(BrowseTest, ListsRootBranchesAndLeavesInOrder) {
    EXPECT_EQ((Names{L"Channel1", L"Special", L"锅炉房", L"Bulk"}),
              Browse(browse_.Get(), OPC_BRANCH));
    EXPECT_EQ((Names{L"Heartbeat"}), Browse(browse_.Get(), OPC_LEAF));
}

TEST_P(BrowseTest, MovesDownAndUpThroughBranches) {
    ASSERT_EQ(S_OK, Down(L"Channel1"));
    EXPECT_EQ((Names{L"Device1", L"Device2"}), Browse(browse_.Get(), OPC_BRANCH));
    ASSERT_EQ(S_OK, Down(L"Device1"));
    EXPECT_EQ((Names{L"Temperature", L"Pressure", L"Name", L"Running"}),
              Browse(browse_.Get(), OPC_LEAF));
    EXPECT_EQ(L"Channel1.Device1.Pressure", ItemId(L"Pressure"));
    EXPECT_EQ(S_OK, Up());
    EXPECT_EQ(S_OK, Up());
    EXPECT_EQ(E_FAIL, Up()) << "above the root";
    EXPECT_EQ((Names{L"Heartbeat"}), Browse(browse_.Get(), OPC_LEAF));
}

TEST_P(BrowseTest, RefusesToGoDownIntoUnknownNamesAndPlainItems) {
    EXPECT_EQ(E_INVALIDARG, Down(L"NoSuchBranch"));
    EXPECT_EQ(E_INVALIDARG, Down(L"Heartbeat"));
    EXPECT_EQ((Names{L"Heartbeat"}), Browse(browse_.Get(), OPC_LEAF)) << "position unchanged";
}

TEST_P(BrowseTest, MovesToABranchByItsId) {
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L"Channel1.Device2"));
    EXPECT_EQ((Names{L"Temperature", L"Motor"}), Browse(browse_.Get(), OPC_LEAF));
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L""));
    EXPECT_EQ((Names{L"Heartbeat"}), Browse(browse_.Get(), OPC_LEAF));
    EXPECT_EQ(E_INVALIDARG, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L"No.Such.Branch"));
}

TEST_P(BrowseTest, FiltersWithWildcards) {
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L"Channel1.Device1"));
    EXPECT_EQ((Names{L"Temperature"}), Browse(browse_.Get(), OPC_LEAF, L"T*"));
    EXPECT_EQ((Names{L"Name"}), Browse(browse_.Get(), OPC_LEAF, L"?a?e"));
    EXPECT_EQ((Names{L"Pressure", L"Running"}), Browse(browse_.Get(), OPC_LEAF, L"*[sn][sn]*"));
    HRESULT result = S_OK;
    EXPECT_EQ(Names{}, Browse(browse_.Get(), OPC_LEAF, L"X*", &result));
    EXPECT_EQ(S_FALSE, result) << "nothing matched: S_FALSE with an empty enumerator";
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L""));
    EXPECT_EQ((Names{L"Channel1"}), Browse(browse_.Get(), OPC_BRANCH, L"C*"));
}

TEST_P(BrowseTest, ListsEverythingBelowAsFlatIds) {
    ASSERT_EQ(S_OK, Down(L"Channel1"));
    EXPECT_EQ((Names{L"Channel1.Device1.Temperature", L"Channel1.Device1.Pressure",
                     L"Channel1.Device1.Name", L"Channel1.Device1.Running",
                     L"Channel1.Device2.Temperature", L"Channel1.Device2.Motor",
                     L"Channel1.Device2.Motor.Speed", L"Channel1.Device2.Motor.Current"}),
              Browse(browse_.Get(), OPC_FLAT));
}

TEST_P(BrowseTest, FiltersByDataTypeAndAccessRights) {
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L"Channel1.Device1"));
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, browse_->BrowseOPCItemIDs(OPC_LEAF, L"*", VT_BSTR, 0, &names));
    EXPECT_EQ((Names{L"Name"}), ReadAll(names.Get(), 10));
    names.Reset();
    ASSERT_EQ(S_OK, browse_->BrowseOPCItemIDs(OPC_LEAF, L"*", VT_EMPTY, OPC_WRITEABLE, &names));
    EXPECT_EQ((Names{L"Temperature", L"Pressure", L"Running"}), ReadAll(names.Get(), 10));
}

TEST_P(BrowseTest, EnumeratesInBatches) {
    ASSERT_EQ(S_OK, Down(L"Bulk"));
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, browse_->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, &names));
    std::vector<ULONG> batches;
    const Names all = ReadAll(names.Get(), 100, &batches);
    EXPECT_EQ((std::vector<ULONG>{100, 100, 50}), batches);
    ASSERT_EQ(250u, all.size());
    EXPECT_EQ(L"Item1", all.front());
    EXPECT_EQ(L"Item250", all.back());
    // Reset, Skip and Clone.
    EXPECT_EQ(S_OK, names->Reset());
    EXPECT_EQ(S_OK, names->Skip(248));
    ComPtr<IEnumString> copy;
    ASSERT_EQ(S_OK, names->Clone(&copy));
    EXPECT_EQ((Names{L"Item249", L"Item250"}), ReadAll(copy.Get(), 100));
    EXPECT_EQ(S_FALSE, names->Skip(5));
}

TEST_P(BrowseTest, GivesItemIdsWithTheServersSeparators) {
    ASSERT_EQ(S_OK, Down(L"Special"));
    EXPECT_EQ((Names{L"Tag1", L"Tag2"}), Browse(browse_.Get(), OPC_LEAF));
    EXPECT_EQ(L"Dev!Tag1", ItemId(L"Tag1"));
    EXPECT_EQ(L"Special", ItemId(L"")) << "the id of the current position";
    EXPECT_EQ(L"Dev!Tag2", ItemId(L"Dev!Tag2")) << "an id is its own id";
    LPWSTR id = nullptr;
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, browse_->GetItemID(const_cast<LPWSTR>(L"Nope"), &id));
    EXPECT_EQ(nullptr, id);
}

TEST_P(BrowseTest, ServesChineseNames) {
    ASSERT_EQ(S_OK, Down(L"锅炉房"));
    EXPECT_EQ((Names{L"温度", L"压力"}), Browse(browse_.Get(), OPC_LEAF));
    EXPECT_EQ(L"锅炉房.压力", ItemId(L"压力"));
}

TEST_P(BrowseTest, LetsTheClientGoDownIntoItemsWithItems) {
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L"Channel1.Device2"));
    EXPECT_EQ(L"Channel1.Device2.Motor", ItemId(L"Motor"));
    ASSERT_EQ(S_OK, Down(L"Motor"));
    EXPECT_EQ((Names{L"Speed", L"Current"}), Browse(browse_.Get(), OPC_LEAF));
    EXPECT_EQ(L"Channel1.Device2.Motor.Speed", ItemId(L"Speed"));
}

TEST_P(BrowseTest, KeepsABranchNamedRootBelowTheTop) {
    ASSERT_EQ(S_OK, Down(L"Special"));
    ASSERT_EQ(S_OK, Down(L"Root"));
    EXPECT_EQ((Names{L"Inner"}), Browse(browse_.Get(), OPC_LEAF));
    EXPECT_EQ(L"Special.Root.Inner", ItemId(L"Inner"));
}

TEST_P(BrowseTest, CountsEveryCall) {
    auto stats = StatsOf(server_.Get());
    ASSERT_TRUE(stats);
    Browse(browse_.Get(), OPC_BRANCH);
    Down(L"Channel1");
    Up();
    EXPECT_EQ(1, CallsOf(stats.Get(), L"IOPCBrowseServerAddressSpace::BrowseOPCItemIDs"));
    EXPECT_EQ(2, CallsOf(stats.Get(), L"IOPCBrowseServerAddressSpace::ChangeBrowsePosition"));
    EXPECT_EQ(1, CallsOf(stats.Get(), L"IEnumString::Next")) << "4 names in one batch of 100";
}

INSTANTIATE_TEST_SUITE_P(Simulated, BrowseTest,
                         testing::Values(L"OpcSim.Test.Tree", L"OpcSim.Test.Tree.Local"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "InProcess" : "LocalServer";
                         });

class FlatBrowseTest : public testing::TestWithParam<const wchar_t*> {};

TEST_P(FlatBrowseTest, ListsItsItemsFlatAndHasNoPositions) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&browse)));
    OPCNAMESPACETYPE type = OPC_NS_HIERARCHIAL;
    EXPECT_EQ(S_OK, browse->QueryOrganization(&type));
    EXPECT_EQ(OPC_NS_FLAT, type);
    EXPECT_EQ((Names{L"Dev!Temperature", L"Dev!Pressure", L"PLC1.Tag1", L"PLC1.Tag2", L"PLC2.Tag1",
                     L"Flag"}),
              Browse(browse.Get(), OPC_FLAT));
    EXPECT_EQ((Names{L"PLC1.Tag1", L"PLC2.Tag1"}), Browse(browse.Get(), OPC_FLAT, L"PLC#.Tag1"));
    EXPECT_EQ((Names{L"Dev!Temperature", L"Dev!Pressure"}),
              Browse(browse.Get(), OPC_FLAT, L"[a-d]*"));
    EXPECT_EQ(Names{}, Browse(browse.Get(), OPC_BRANCH));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"PLC1"));
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"PLC1.Tag2"), &id));
    TaskString owned(id);
    EXPECT_STREQ(L"PLC1.Tag2", id);
}

INSTANTIATE_TEST_SUITE_P(Simulated, FlatBrowseTest,
                         testing::Values(L"OpcSim.Test.Flat", L"OpcSim.Test.Flat.Local"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "InProcess" : "LocalServer";
                         });

// What bulk tag creation meets in a plant: a branch of 250 items, an item with items of its
// own, one item id under two branches, a branch that refuses entry, a leaf listing answering
// S_FALSE, a leaf whose id is refused, and a name that is both a branch and a leaf.
class EdgeBrowseTest : public testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&browse_))); }
    HRESULT Down(const wchar_t* name) {
        return browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, name);
    }
    HRESULT Up() { return browse_->ChangeBrowsePosition(OPC_BROWSE_UP, L""); }
    HRESULT ItemId(const wchar_t* name, std::wstring& id) {
        LPWSTR text = nullptr;
        const HRESULT hr = browse_->GetItemID(const_cast<LPWSTR>(name), &text);
        TaskString owned(text);
        id = owned ? owned.get() : L"(null)";
        return hr;
    }
    ComPtr<IOPCBrowseServerAddressSpace> browse_;
};

TEST_P(EdgeBrowseTest, ServesTheCasesOfBulkTagCreation) {
    const Names roots = Browse(browse_.Get(), OPC_BRANCH);
    EXPECT_EQ((Names{L"Bulk250", L"Nested", L"LineA", L"LineB", L"Closed", L"Quiet", L"Mixer"}),
              roots);
    EXPECT_EQ(Names{L"Mixer"}, Browse(browse_.Get(), OPC_LEAF)) << "a branch and a leaf";

    ASSERT_EQ(S_OK, Down(L"Bulk250"));
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, browse_->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, &names));
    std::vector<ULONG> batches;
    EXPECT_EQ(250u, ReadAll(names.Get(), 100, &batches).size());
    EXPECT_EQ((std::vector<ULONG>{100, 100, 50}), batches);
    ASSERT_EQ(S_OK, Up());

    ASSERT_EQ(S_OK, Down(L"Nested"));
    EXPECT_EQ((Names{L"Valve", L"Plain"}), Browse(browse_.Get(), OPC_LEAF));
    EXPECT_EQ(Names{}, Browse(browse_.Get(), OPC_BRANCH));
    EXPECT_TRUE(FAILED(Down(L"Plain"))) << "a plain item cannot be entered";
    ASSERT_EQ(S_OK, Down(L"Valve")) << "an item with items of its own can";
    EXPECT_EQ((Names{L"Position", L"Command"}), Browse(browse_.Get(), OPC_LEAF));
    ASSERT_EQ(S_OK, Up());
    ASSERT_EQ(S_OK, Up());

    std::wstring a, b;
    ASSERT_EQ(S_OK, Down(L"LineA"));
    EXPECT_EQ(S_OK, ItemId(L"Speed", a));
    ASSERT_EQ(S_OK, Up());
    ASSERT_EQ(S_OK, Down(L"LineB"));
    EXPECT_EQ(S_OK, ItemId(L"Speed", b));
    ASSERT_EQ(S_OK, Up());
    EXPECT_EQ(L"Shared.Speed", a);
    EXPECT_EQ(a, b);

    EXPECT_EQ(E_ACCESSDENIED, Down(L"Closed"));
    EXPECT_EQ(roots, Browse(browse_.Get(), OPC_BRANCH)) << "still at the root";

    ASSERT_EQ(S_OK, Down(L"Quiet"));
    HRESULT listed = S_OK;
    EXPECT_EQ(4u, Browse(browse_.Get(), OPC_LEAF, L"", &listed).size());
    EXPECT_EQ(S_FALSE, listed) << "the names come, the answer is S_FALSE";
    std::wstring id;
    EXPECT_EQ(S_OK, ItemId(L"Unlisted2", id));
    EXPECT_EQ(L"Quiet.Unlisted2", id);
    EXPECT_EQ(E_FAIL, ItemId(L"NoId", id));
    ASSERT_EQ(S_OK, Up());

    ASSERT_EQ(S_OK, Down(L"Mixer"));
    EXPECT_EQ(Names{L"Speed"}, Browse(browse_.Get(), OPC_LEAF));
    ASSERT_EQ(S_OK, Up());
    EXPECT_EQ(S_OK, ItemId(L"Mixer", id));
    EXPECT_EQ(L"Mixer", id);
}

INSTANTIATE_TEST_SUITE_P(Simulated, EdgeBrowseTest,
                         testing::Values(L"OpcSim.Test.Edges", L"OpcSim.Test.Edges.Local"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "InProcess" : "LocalServer";
                         });

} // namespace
} // namespace opctest

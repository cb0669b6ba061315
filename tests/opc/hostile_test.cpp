// The hostile answers a broken or malicious server may give, each made to happen for real.
#include "com_helpers.h"

#include <gtest/gtest.h>

namespace opctest {
namespace {

ComPtr<IEnumString> Leaves(const wchar_t* progId, ComPtr<IOPCBrowseServerAddressSpace>& browse) {
    ComPtr<IEnumString> names;
    if (FAILED(CreateServer(progId, IID_PPV_ARGS(&browse))) ||
        FAILED(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Area")) ||
        FAILED(browse->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, &names)))
        return nullptr;
    return names;
}

TEST(HostileTest, NextClaimsMoreNamesThanAskedFor) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    auto names = Leaves(L"OpcSim.Test.NextExtra", browse);
    ASSERT_TRUE(names);
    LPOLESTR buffer[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, names->Next(1, buffer, &fetched));
    EXPECT_EQ(6u, fetched) << "one written, six claimed";
    EXPECT_EQ(nullptr, buffer[1]) << "nothing written past the caller's array";
    TaskString first(buffer[0]);
    EXPECT_STREQ(L"Temperature", first.get());
}

TEST(HostileTest, NextHandsOutNullNames) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    auto names = Leaves(L"OpcSim.Test.NullNames", browse);
    ASSERT_TRUE(names);
    LPOLESTR buffer[10] = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_FALSE, names->Next(10, buffer, &fetched));
    ASSERT_EQ(2u, fetched);
    TaskString first(buffer[0]);
    EXPECT_STREQ(L"Temperature", first.get());
    EXPECT_EQ(nullptr, buffer[1]);
}

TEST(HostileTest, NextHandsOutNamesOf64KiB) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    auto names = Leaves(L"OpcSim.Test.HugeNames", browse);
    ASSERT_TRUE(names);
    LPOLESTR buffer[1] = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, names->Next(1, buffer, &fetched));
    TaskString name(buffer[0]);
    ASSERT_TRUE(name);
    EXPECT_EQ(65536u, wcslen(name.get()));
    EXPECT_EQ(0, wcsncmp(name.get(), L"Temperature", 11));
}

TEST(HostileTest, AddressSpaceWithoutBottom) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.Bottomless", IID_PPV_ARGS(&browse)));
    for (int level = 0; level < 200; ++level)
        ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Status")) << level;
    EXPECT_EQ((std::vector<std::wstring>{L"Area"}), Browse(browse.Get(), OPC_BRANCH))
        << "every level looks like the one above it";
    for (int level = 0; level < 200; ++level)
        ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
}

TEST(HostileTest, SucceedsWithNullOutPointers) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.NullOut", IID_PPV_ARGS(&server)));
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, server.As(&browse));
    IEnumString* names = reinterpret_cast<IEnumString*>(1);
    EXPECT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, &names));
    EXPECT_EQ(nullptr, names);
    LPWSTR id = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Status"), &id));
    EXPECT_EQ(nullptr, id);
    LPWSTR text = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(S_OK, server->GetErrorString(E_FAIL, LOCALE_SYSTEM_DEFAULT, &text));
    EXPECT_EQ(nullptr, text);
    OPCSERVERSTATUS* status = reinterpret_cast<OPCSERVERSTATUS*>(1);
    EXPECT_EQ(S_OK, server->GetStatus(&status));
    EXPECT_EQ(nullptr, status);
    IUnknown* group = reinterpret_cast<IUnknown*>(1);
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_EQ(S_OK, server->AddGroup(L"Group1", TRUE, 1000, 1, nullptr, nullptr, 0, &handle,
                                     &revised, IID_IOPCGroupStateMgt, &group));
    EXPECT_EQ(nullptr, group);
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, server.As(&points));
    IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCShutdown, &point));
    EXPECT_EQ(nullptr, point);
}

} // namespace
} // namespace opctest

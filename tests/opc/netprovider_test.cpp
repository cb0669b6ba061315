// Our network provider as an application sees it through mpr.dll: the provider, its
// workgroups and their computers, as network.json describes them.
#include "net_registration.h"
#include "network_tree.h"
#include "sim_world.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winnetwk.h>

#include <string>
#include <vector>

namespace {

// mpr.dll reads the providers when it loads, so it is loaded only after the registration.
struct Mpr {
    HMODULE module = nullptr;
    decltype(&WNetOpenEnumA) open = nullptr;
    decltype(&WNetEnumResourceA) enumerate = nullptr;
    decltype(&WNetCloseEnum) close = nullptr;
};
Mpr g_mpr;

template <class F> F Entry(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_mpr.module, name)));
}

using simtest::DosPath;

// The network stays registered while any process of this test program runs.
class NetworkEnvironment : public testing::Environment {
public:
    void SetUp() override {
        lock_ = CreateMutexW(nullptr, FALSE, L"OpcSimNetworkTestLock");
        WaitForSingleObject(lock_, INFINITE);
        HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, L"OpcSimNetworkTestUsers");
        if (other) {
            CloseHandle(other);
        } else {
            const std::wstring dll = simtest::ProgramDirectory() + L"netprovider.dll";
            std::string error;
            EXPECT_TRUE(netprovider::RegisterNetwork(DosPath(NETWORK_TEST_TREE), dll, error))
                << error;
        }
        users_ = CreateEventW(nullptr, TRUE, FALSE, L"OpcSimNetworkTestUsers");
        ReleaseMutex(lock_);
        g_mpr.module = LoadLibraryW(L"mpr.dll");
        ASSERT_NE(nullptr, g_mpr.module);
        g_mpr.open = Entry<decltype(&WNetOpenEnumA)>("WNetOpenEnumA");
        g_mpr.enumerate = Entry<decltype(&WNetEnumResourceA)>("WNetEnumResourceA");
        g_mpr.close = Entry<decltype(&WNetCloseEnum)>("WNetCloseEnum");
    }
    void TearDown() override {
        WaitForSingleObject(lock_, INFINITE);
        CloseHandle(users_);
        HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, L"OpcSimNetworkTestUsers");
        if (other)
            CloseHandle(other);
        else
            netprovider::UnregisterNetwork();
        ReleaseMutex(lock_);
        CloseHandle(lock_);
    }

private:
    HANDLE lock_ = nullptr;
    HANDLE users_ = nullptr;
};

testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new NetworkEnvironment);

struct Found {
    std::string remote;
    std::string provider;
    DWORD display = 0;
    DWORD usage = 0;
};

// Opens and reads one container the way the plug-in does (16 KiB buffer, count -1).
DWORD List(NETRESOURCEA* container, std::vector<Found>& found) {
    HANDLE handle = nullptr;
    DWORD rc = g_mpr.open(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, container,
                          &handle);
    if (rc != NO_ERROR)
        return rc;
    std::vector<BYTE> buffer(16384);
    for (;;) {
        DWORD count = static_cast<DWORD>(-1);
        DWORD size = static_cast<DWORD>(buffer.size());
        rc = g_mpr.enumerate(handle, &count, buffer.data(), &size);
        if (rc != NO_ERROR)
            break;
        auto* resources = reinterpret_cast<NETRESOURCEA*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            found.push_back(Found{resources[i].lpRemoteName ? resources[i].lpRemoteName : "",
                                  resources[i].lpProvider ? resources[i].lpProvider : "",
                                  resources[i].dwDisplayType, resources[i].dwUsage});
    }
    g_mpr.close(handle);
    return rc;
}

NETRESOURCEA Container(const char* remote) {
    static std::string provider = "OpcSim Network";
    NETRESOURCEA resource = {};
    resource.dwScope = RESOURCE_GLOBALNET;
    resource.dwUsage = RESOURCEUSAGE_CONTAINER;
    resource.lpRemoteName = const_cast<char*>(remote);
    resource.lpProvider = &provider[0];
    return resource;
}

TEST(NetProviderTest, ShowsTheProviderAtTheTop) {
    std::vector<Found> top;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, List(nullptr, top));
    bool ours = false;
    for (const Found& entry : top)
        ours = ours || entry.provider == "OpcSim Network";
    EXPECT_TRUE(ours);
}

TEST(NetProviderTest, ListsWorkgroupsBelowTheProvider) {
    std::vector<Found> groups;
    NETRESOURCEA provider = Container(nullptr);
    provider.dwDisplayType = RESOURCEDISPLAYTYPE_NETWORK;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, List(&provider, groups));
    ASSERT_EQ(4u, groups.size());
    EXPECT_EQ("WORKGROUP", groups[0].remote);
    EXPECT_EQ("CONTROL", groups[1].remote);
    EXPECT_EQ(static_cast<DWORD>(RESOURCEDISPLAYTYPE_DOMAIN), groups[0].display);
    EXPECT_TRUE(groups[0].usage & RESOURCEUSAGE_CONTAINER);
    EXPECT_EQ("OpcSim Network", groups[0].provider);
}

TEST(NetProviderTest, ListsComputersAsTheFileSpellsThem) {
    std::vector<Found> computers;
    NETRESOURCEA group = Container("WORKGROUP");
    group.dwDisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, List(&group, computers));
    ASSERT_EQ(4u, computers.size());
    EXPECT_EQ("\\\\PLANT-PC1", computers[0].remote);
    EXPECT_EQ("PLANT-PC2", computers[1].remote);
    EXPECT_EQ(static_cast<DWORD>(RESOURCEDISPLAYTYPE_SERVER), computers[0].display);
    EXPECT_TRUE(computers[0].usage & RESOURCEUSAGE_CONTAINER);
    EXPECT_EQ(static_cast<DWORD>(RESOURCEDISPLAYTYPE_SHARE), computers[2].display);
    EXPECT_FALSE(computers[2].usage & RESOURCEUSAGE_CONTAINER);
    // The ANSI code page (936 in our tests) carries the Chinese name.
    wchar_t wide[32] = {};
    MultiByteToWideChar(CP_ACP, 0, computers[3].remote.c_str(), -1, wide, 32);
    EXPECT_STREQ(L"\\\\工程师站", wide);
}

TEST(NetProviderTest, FailsTheEnumerationsItIsToldTo) {
    std::vector<Found> none;
    NETRESOURCEA broken = Container("BROKEN");
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_NETWORK), List(&broken, none));
    EXPECT_TRUE(none.empty());
    NETRESOURCEA closed = Container("CLOSED");
    EXPECT_NE(static_cast<DWORD>(NO_ERROR), List(&closed, none));
}

TEST(NetProviderTest, ReadsTreesAndRejectsBadOnes) {
    std::string error;
    auto tree = netprovider::ParseTree(R"({"groups": [{"name": "G", "computers": ["A"]}]})", error);
    ASSERT_TRUE(tree) << error;
    EXPECT_EQ(L"A", tree->top.children[0].children[0].remoteName);
    EXPECT_FALSE(netprovider::ParseTree(R"({"groups": [{"computers": []}]})", error));
    EXPECT_FALSE(netprovider::ParseTree(R"({"fail": "sometimes"})", error));
}

TEST(NetProviderTest, ReadsTheDemoNetwork) {
    std::string error;
    auto tree = netprovider::LoadTreeFile(DosPath(OPCSIM_SAMPLES "/network.json"), error);
    ASSERT_TRUE(tree) << error;
    ASSERT_EQ(2u, tree->top.children.size());
    EXPECT_EQ(L"\\\\PLANT-OPC1", tree->top.children[0].children[0].remoteName);
}

} // namespace

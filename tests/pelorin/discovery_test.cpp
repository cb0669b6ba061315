// The server discovery against the simulated browser and class registry of this prefix: batches
// of the browser's enumerator, classes without details, browsers that cannot be had or refuse the
// category (with the registry as OPC 1.0's fallback), the texts of those failures, and the task
// memory the browser hands out.
//
// Other test programs register servers in the same prefix at the same time. Our classes get ids
// that sort before every other class with an OPC category, so the browser lists them first, and a
// mutex keeps two processes of this program from listing each other's. Registry passes and
// reports may carry servers of others: the tests look at ours.
#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/server_discovery.h"
#include "entry/server_settings.h"
#include "session/opc_error.h"
#include "sim_world.h"
#include "task_memory.h"

namespace {

using pelorin::ServerDiscovery;
using pelorin::ServerPass;
using Kind = pelorin::ServerPass::Kind;

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};
const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

class Reports : public pelorin::DiscoveryReporter {
public:
    void Report(const std::string& text) override { texts.push_back(text); }
    // Without the registry walk's complaints about other programs' invalid class ids.
    std::vector<std::string> Ours() const {
        std::vector<std::string> ours;
        for (const std::string& text : texts)
            if (text.rfind("CLSIDFromString: ", 0) != 0)
                ours.push_back(text);
        return ours;
    }
    std::vector<std::string> texts;
};

struct Server {
    std::string progId;
    std::string clsid; // in braces
};

std::string Hex(unsigned long value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*lX", digits, value);
    return text;
}

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        mutex_ = CreateMutexW(nullptr, FALSE, L"PelorinDiscoveryTests");
        ASSERT_NE(nullptr, mutex_);
        ASSERT_NE(WAIT_FAILED, WaitForSingleObject(mutex_, 120000));
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"OPCSIM_BROWSER", nullptr);
        world_.reset();
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }

    // Registers `count` servers of ours; `fields` (JSON members) apply to each, `special` to the
    // one at index `specialAt`. Class ids rise with the index, so the browser lists them in order.
    void Register(int count, const std::string& fields, int specialAt = -1,
                  const std::string& special = "") {
        const std::string pid = Hex(GetCurrentProcessId() & 0xFFFF, 4);
        std::string json = "{\"servers\": [";
        for (int i = 0; i < count; ++i) {
            Server server{"DiscTest." + pid + "." + std::to_string(i),
                          "{00000000-D15C-" + pid + "-0000-" + Hex(i, 12) + "}"};
            servers_.push_back(server);
            json += std::string(i ? "," : "") + "{\"progId\": \"" + server.progId +
                    "\", \"clsid\": \"" + server.clsid + "\", \"space\": [{\"item\": \"Tag\"}]" +
                    (fields.empty() ? "" : ", " + fields) + (i == specialAt ? ", " + special : "") +
                    "}";
        }
        json += "]}";
        world_ = simtest::SimWorld::FromText(json);
        ASSERT_TRUE(world_->Ready()) << world_->Error();
    }

    // The in-process browser of this process misbehaves so (see the browser's behaviour).
    static void BrowserBehaves(const wchar_t* json) {
        ASSERT_TRUE(SetEnvironmentVariableW(L"OPCSIM_BROWSER", json));
    }

    bool Ours(const std::string& progId) const {
        for (const Server& server : servers_)
            if (server.progId == progId)
                return true;
        return false;
    }
    // Our ProgIDs among the entries of a pass, in order.
    std::vector<std::string> OursIn(const ServerPass& pass) const {
        std::vector<std::string> names;
        for (const pelorin::ServerEntry* entry : pass.added)
            if (Ours(entry->progId))
                names.push_back(entry->progId);
        return names;
    }
    static const pelorin::ServerEntry* Find(const ServerPass& pass, const std::string& progId) {
        for (const pelorin::ServerEntry* entry : pass.added)
            if (entry->progId == progId)
                return entry;
        return nullptr;
    }
    std::vector<std::string> FirstProgIds(size_t count) const {
        std::vector<std::string> names;
        for (size_t i = 0; i < count && i < servers_.size(); ++i)
            names.push_back(servers_[i].progId);
        return names;
    }
    static std::vector<Kind> KindsOf(const std::vector<ServerPass>& passes) {
        std::vector<Kind> kinds;
        for (const ServerPass& pass : passes)
            kinds.push_back(pass.kind);
        return kinds;
    }
    static std::string ClsidText(const GUID& guid) {
        wchar_t text[40] = {};
        StringFromGUID2(guid, text, 40);
        return std::string(text, text + wcslen(text));
    }

    Reports reports_;
    ServerDiscovery discovery_{reports_};
    std::vector<Server> servers_;
    std::unique_ptr<simtest::SimWorld> world_;

private:
    HANDLE mutex_ = nullptr;
};

TEST_F(DiscoveryTest, MoreThanOneHundredClassesTakeASecondBatchAndAreListedOnce) {
    // DA 2.0 only, with their ProgID keys: the registry finds all of them again.
    Register(150, "\"categories\": [\"DA2\"]");
    const auto passes = discovery_.ListServers(nullptr, pelorin::kCatidOpcDaServer20);
    ASSERT_EQ((std::vector<Kind>{Kind::Browser, Kind::Registry}), KindsOf(passes));
    EXPECT_EQ(1, passes[0].result);
    ASSERT_GE(passes[0].added.size(), 150u);
    // Ours come first, in the browser's order, with the browser's class ids.
    for (size_t i = 0; i < 150; ++i) {
        EXPECT_EQ(servers_[i].progId, passes[0].added[i]->progId) << i;
        EXPECT_EQ(servers_[i].clsid, ClsidText(passes[0].added[i]->clsid)) << i;
    }
    EXPECT_EQ(1, passes[1].result);
    EXPECT_TRUE(OursIn(passes[1]).empty()) << "a ProgID the browser listed is not listed again";
    EXPECT_TRUE(reports_.Ours().empty());
}

TEST_F(DiscoveryTest, AShortBatchEndsTheBrowserListingEvenWithMoreBehindIt) {
    // Without ProgID keys, so that the registry adds none of ours afterwards.
    Register(150, "\"categories\": [\"DA2\"], \"progIdKey\": false");
    BrowserBehaves(L"{\"nextLimit\": 60}");
    const auto passes = discovery_.ListServers(nullptr, pelorin::kCatidOpcDaServer20);
    ASSERT_EQ(2u, passes.size());
    EXPECT_EQ(1, passes[0].result);
    EXPECT_EQ(FirstProgIds(60), OursIn(passes[0]));
    EXPECT_EQ(60u, passes[0].added.size());
    EXPECT_TRUE(OursIn(passes[1]).empty());
}

TEST_F(DiscoveryTest, AClassWithoutDetailsIsLeftToTheRegistryWithoutAMessage) {
    // The middle server's class has no ProgID value: GetClassDetails fails for it.
    Register(3, "\"categories\": [\"DA2\"]", 1, "\"clsidProgId\": false");
    const auto passes = discovery_.ListServers(nullptr, pelorin::kCatidOpcDaServer20);
    ASSERT_EQ(2u, passes.size());
    EXPECT_EQ((std::vector<std::string>{servers_[0].progId, servers_[2].progId}),
              OursIn(passes[0]));
    EXPECT_EQ((std::vector<std::string>{servers_[1].progId}), OursIn(passes[1]));
    EXPECT_TRUE(reports_.Ours().empty());
}

TEST_F(DiscoveryTest, ANamedNodeWhoseBrowserFailsIsNamedWithTheSystemsText) {
    // Another failure than a missing registration: the system has a text for it.
    const std::string denied = pelorin::SystemErrorText(E_ACCESSDENIED);
    ASSERT_FALSE(denied.empty()) << "the system should describe E_ACCESSDENIED";
    BrowserBehaves(L"{\"createResult\": \"E_ACCESSDENIED\"}");
    auto passes = discovery_.ListServers("FARAWAY", pelorin::kCatidOpcDaServer20);
    EXPECT_EQ((std::vector<std::string>{"Error connecting to OPC 2.0 Server Browser on FARAWAY. " +
                                        denied}),
              reports_.Ours());
    // Another computer's registry cannot be reached either (silently), and OPC 2.0 has no
    // fallback: nothing is listed.
    ASSERT_EQ((std::vector<Kind>{Kind::Browser, Kind::Registry}), KindsOf(passes));
    EXPECT_EQ(0, passes[0].result);
    EXPECT_EQ(0, passes[1].result);
    EXPECT_FALSE(passes[1].EndsWithSelection());
    EXPECT_TRUE(discovery_.Servers().empty());

    reports_.texts.clear();
    BrowserBehaves(L"{\"createResult\": \"REGDB_E_CLASSNOTREG\"}");
    discovery_.ListServers("FARAWAY", pelorin::kCatidOpcDaServer20);
    EXPECT_EQ((std::vector<std::string>{pelorin::FormatComError(
                  "Please install the OPC 2.0 Components on FARAWAY.", REGDB_E_CLASSNOTREG)}),
              reports_.Ours());

    // An empty node is this computer: no name in the text, and its registry is walked.
    reports_.texts.clear();
    BrowserBehaves(L"{\"createResult\": \"E_ACCESSDENIED\"}");
    passes = discovery_.ListServers("", pelorin::kCatidOpcDaServer20);
    EXPECT_EQ((std::vector<std::string>{"Error connecting to OPC 2.0 Server Browser. " + denied}),
              reports_.Ours());
    ASSERT_EQ(2u, passes.size());
    EXPECT_TRUE(passes[1].EndsWithSelection());
}

TEST_F(DiscoveryTest, OpcTenFallsBackToTheRegistryWhenTheCategoryIsRefused) {
    Register(2, "\"categories\": [\"DA1\"]");
    BrowserBehaves(L"{\"enumResult\": \"0x80047777\"}");
    auto passes = discovery_.ListServers(nullptr, pelorin::kCatidOpcDaServer10);
    EXPECT_EQ((std::vector<std::string>{"EnumClassesOfCategories failed: Unknown Error."}),
              reports_.Ours());
    ASSERT_EQ((std::vector<Kind>{Kind::Browser, Kind::RegistryFallback, Kind::Registry}),
              KindsOf(passes));
    EXPECT_EQ(0, passes[0].result);
    EXPECT_TRUE(passes[0].added.empty());
    EXPECT_EQ(1, passes[1].result);
    EXPECT_TRUE(passes[1].EndsWithSelection());
    EXPECT_EQ(FirstProgIds(2), OursIn(passes[1]));
    const pelorin::ServerEntry* first = Find(passes[1], servers_[0].progId);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(servers_[0].clsid, ClsidText(first->clsid)) << "the registry's class id";
    EXPECT_TRUE(passes[2].EndsWithSelection()) << "the caller's walk runs again";
    EXPECT_TRUE(OursIn(passes[2]).empty());

    // OPC 2.0 has no fallback: the registry is walked once.
    reports_.texts.clear();
    passes = discovery_.ListServers(nullptr, pelorin::kCatidOpcDaServer20);
    EXPECT_EQ(1u, reports_.Ours().size());
    ASSERT_EQ((std::vector<Kind>{Kind::Browser, Kind::Registry}), KindsOf(passes));
    EXPECT_EQ(FirstProgIds(2), OursIn(passes[1]));
}

TEST_F(DiscoveryTest, EveryStringTheBrowserHandsOutIsFreed) {
    // One class fails its details yet hands out both strings; they are ours to free as well.
    Register(150, "\"categories\": [\"DA2\"]");
    discovery_.ListServers(nullptr, pelorin::kCatidOpcDaServer20); // COM's own first-use memory
    const std::wstring careless = L"{\"details\": {\"" +
                                  std::wstring(servers_[7].clsid.begin(), servers_[7].clsid.end()) +
                                  L"\": \"E_FAIL\"}, \"stringsOnFailure\": true}";
    BrowserBehaves(careless.c_str());
    long made = 0, live = 0;
    std::vector<ServerPass> passes;
    {
        simtest::TaskMemoryWatch spy;
        ASSERT_TRUE(spy.Active());
        passes = discovery_.ListServers(nullptr, pelorin::kCatidOpcDaServer20);
        made = spy.Made();
        live = spy.Live();
    }
    ASSERT_EQ(2u, passes.size());
    EXPECT_EQ(149u, OursIn(passes[0]).size());
    EXPECT_GE(made, 2L * 150L) << "the spy saw the browser's strings";
    EXPECT_EQ(0L, live) << "task memory blocks left behind";
}

} // namespace

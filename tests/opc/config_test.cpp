// Reading a world's registration details, faults and result codes.
#include "config.h"

#include <opcerror.h>

#include <gtest/gtest.h>

namespace {

TEST(ConfigTest, ReadsRegistrationDetailsWithDefaults) {
    std::string error;
    auto world = opcsim::ParseWorld(R"({"servers": [
        {"progId": "A.1", "clsid": "{11111111-2222-3333-4444-555555555555}"},
        {"progId": "B.1", "clsid": "{11111111-2222-3333-4444-555555555556}", "activation": "local",
         "categories": ["DA2"], "opcKey": false, "progIdClsid": "invalid", "clsidProgId": false,
         "threading": "Free", "name": "Bee"}]})",
                                    error);
    ASSERT_TRUE(world) << error;
    const auto& a = *world->servers[0];
    EXPECT_EQ(opcsim::Activation::InProcess, a.activation);
    EXPECT_TRUE(a.da1 && a.da2 && a.opcKey && a.progIdKey && a.clsidProgId);
    EXPECT_EQ(L"valid", a.progIdClsid);
    EXPECT_EQ(L"A.1", a.name);
    EXPECT_FALSE(a.OwnThreads());
    const auto& b = *world->servers[1];
    EXPECT_EQ(opcsim::Activation::LocalServer, b.activation);
    EXPECT_FALSE(b.da1);
    EXPECT_TRUE(b.da2);
    EXPECT_FALSE(b.opcKey);
    EXPECT_EQ(L"invalid", b.progIdClsid);
    EXPECT_FALSE(b.clsidProgId);
    EXPECT_TRUE(b.OwnThreads());
    EXPECT_EQ(L"Bee", b.name);
    CLSID clsid;
    CLSIDFromString(L"{11111111-2222-3333-4444-555555555556}", &clsid);
    EXPECT_EQ(world->servers[1], world->Find(clsid));
}

TEST(ConfigTest, ReadsFaults) {
    std::string error;
    auto world = opcsim::ParseWorld(R"({"servers": [
        {"progId": "A.1", "clsid": "{11111111-2222-3333-4444-555555555555}",
         "faults": {"create": "REGDB_E_CLASSNOTREG", "missing": ["IDataObject"],
                    "results": {"AddGroup": "0x80004005", "BrowseOPCItemIDs": "S_FALSE"},
                    "nullOut": ["GetItemID"], "getItemIdFails": ["x"], "nextExtra": 3,
                    "nullNames": true, "hugeNames": true, "bottomless": true,
                    "shutdown": {"afterMs": 10, "reason": "bye"}}}],
        "browser": {"enumResult": "E_FAIL"}})",
                                    error);
    ASSERT_TRUE(world) << error;
    const opcsim::Faults& f = world->servers[0]->faults;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, f.createResult);
    EXPECT_TRUE(f.Lacks(L"IDataObject"));
    EXPECT_EQ(E_FAIL, f.Forced(L"AddGroup"));
    EXPECT_EQ(S_FALSE, f.Forced(L"BrowseOPCItemIDs"));
    EXPECT_EQ(S_OK, f.Forced(L"GetItemID"));
    EXPECT_TRUE(f.NullOut(L"GetItemID"));
    EXPECT_EQ(3u, f.nextExtra);
    EXPECT_TRUE(f.nullNames && f.hugeNames && f.bottomless);
    EXPECT_EQ(10u, f.shutdownAfterMs);
    EXPECT_EQ(L"bye", f.shutdownReason);
    EXPECT_EQ(E_FAIL, world->browser.enumResult);
}

TEST(ConfigTest, ReadsTimingFaultsAndLiveliness) {
    std::string error;
    auto world = opcsim::ParseWorld(R"({"servers": [
        {"progId": "A.1", "clsid": "{11111111-2222-3333-4444-555555555555}", "activation": "local",
         "locales": ["0x0407", 1033], "rates": [250, 2000],
         "space": [{"item": "T", "type": "BSTR"}, {"branch": "B", "children": [{"item": "U"}]}],
         "notify": {"items": ["T", "B.U"], "every": 3, "keepAlive": false, "ticks": 9,
                    "handleBase": "0x80000010"},
         "faults": {"shutdown": {"afterMs": 10, "disconnect": true, "graceMs": 20},
                    "delays": {"IOPCServer::AddGroup": 300, "*": 5},
                    "die": {"at": "IConnectionPoint::Unadvise", "call": 2},
                    "keepSinks": {"callAfterMs": 1500},
                    "during": [{"at": "IEnumString::Next", "call": 2, "send": ["shutdown",
                                "malformed"], "reason": "now"},
                               {"at": "IOPCServer::RemoveGroup", "send": ["dataChange"]}]}}]})",
                                    error);
    ASSERT_TRUE(world) << error;
    const opcsim::ServerConfig& server = *world->servers[0];
    EXPECT_EQ((std::vector<LCID>{0x0407, 1033}), server.locales);
    EXPECT_TRUE(server.AcceptsLocale(LOCALE_SYSTEM_DEFAULT));
    EXPECT_TRUE(server.AcceptsLocale(0x0407));
    EXPECT_FALSE(server.AcceptsLocale(0x0804)) << "not one of the server's locales";
    const opcsim::NotifyConfig& notify = server.notify;
    EXPECT_TRUE(notify.enabled);
    EXPECT_FALSE(notify.keepAlive);
    EXPECT_EQ((std::vector<std::wstring>{L"T", L"B.U"}), notify.itemIds);
    EXPECT_EQ((std::vector<VARTYPE>{VT_BSTR, VT_R8}), notify.itemTypes);
    EXPECT_EQ(3u, notify.every);
    EXPECT_EQ(9u, notify.ticks);
    EXPECT_EQ(0x80000010u, notify.handleBase);
    const opcsim::Faults& f = server.faults;
    EXPECT_TRUE(f.shutdownDisconnect);
    EXPECT_EQ(20u, f.shutdownGraceMs);
    EXPECT_EQ(300u, f.DelayOf(L"IOPCServer::AddGroup"));
    EXPECT_EQ(5u, f.DelayOf(L"IOPCServer::RemoveGroup")) << "\"*\" stands for the others";
    EXPECT_EQ(L"IConnectionPoint::Unadvise", f.dieAt);
    EXPECT_EQ(2u, f.dieCall);
    EXPECT_EQ(1500u, f.keepSinkCallAfterMs);
    ASSERT_EQ(2u, f.during.size());
    EXPECT_EQ(L"IEnumString::Next", f.during[0].at);
    EXPECT_EQ(2u, f.during[0].call);
    EXPECT_TRUE(f.during[0].shutdown && f.during[0].malformed && !f.during[0].dataChange);
    EXPECT_EQ(L"now", f.during[0].reason);
    EXPECT_EQ(0u, f.during[1].call) << "every call";
    EXPECT_TRUE(f.during[1].dataChange && !f.during[1].shutdown);
}

TEST(ConfigTest, RevisesUpdateRatesToTheClosestItOffers) {
    opcsim::ServerConfig any;
    EXPECT_EQ(1000u, any.ReviseRate(1000));
    EXPECT_EQ(100u, any.ReviseRate(10)) << "nothing faster than 100 ms by default";
    opcsim::ServerConfig some;
    some.rates = {250, 2000, 500};
    EXPECT_EQ(500u, some.ReviseRate(500));
    EXPECT_EQ(500u, some.ReviseRate(600));
    EXPECT_EQ(250u, some.ReviseRate(1));
    EXPECT_EQ(2000u, some.ReviseRate(1250)) << "halfway between two: the slower";
    EXPECT_EQ(2000u, some.ReviseRate(0xFFFFFFFF));
}

TEST(ConfigTest, RefusesTimingFaultsItCannotPlay) {
    const std::string head =
        R"({"servers": [{"progId": "A.1", "clsid": "{11111111-2222-3333-4444-555555555555}", )";
    for (const std::string& body :
         {std::string(R"("faults": {"die": {"at": "IOPCServer::AddGroup"}}})"), // in process
          std::string(R"("activation": "local", "faults": {"die": {}}})"),
          std::string(R"("activation": "local", "faults": {"die": {"at": "X", "afterMs": 5}}})"),
          std::string(R"("faults": {"keepSinks": {}}})"), std::string(R"("rates": [0]})"),
          std::string(R"("rates": []})"), std::string(R"("notify": {"items": ["nowhere"]}})"),
          std::string(R"("notify": {"every": 0}})"),
          std::string(R"("faults": {"during": [{"send": ["shutdown"]}]}})"),
          std::string(R"("faults": {"during": [{"at": "IEnumString::Next"}]}})"),
          std::string(R"("faults": {"during": [{"at": "IEnumString::Next", "send": ["x"]}]}})"),
          std::string(R"("space": [{"item": "x", "results": {"AddGroup": "E_FAIL"}}]})")}) {
        std::string error;
        EXPECT_FALSE(opcsim::ParseWorld(head + body + "]}", error)) << body;
        EXPECT_FALSE(error.empty()) << body;
    }
}

TEST(ConfigTest, ParsesResultCodes) {
    HRESULT hr = S_OK;
    EXPECT_TRUE(opcsim::ParseHresult("OPC_E_UNKNOWNITEMID", hr));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, hr);
    EXPECT_TRUE(opcsim::ParseHresult("0xC0041234", hr));
    EXPECT_EQ(static_cast<HRESULT>(0xC0041234), hr);
    EXPECT_FALSE(opcsim::ParseHresult("0x1234567890", hr));
    EXPECT_FALSE(opcsim::ParseHresult("E_NOPE", hr));
}

} // namespace

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

// What a world file puts into the registry, and the server browser that reads it.
#include "com_helpers.h"

#include "config.h"
#include "registration.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace opctest {
namespace {

bool HasKey(const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring Value(const std::wstring& path, const wchar_t* name = nullptr) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return L"(none)";
    return buffer;
}

// Whether HKCR has a key spelled exactly so (key names compare without letter case).
bool HasKeySpelled(const std::wstring& spelling) {
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            return false;
        if (spelling == name)
            return true;
    }
}

std::wstring Text(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

const wchar_t kTree[] = L"{95487D4C-9CB8-4210-85B6-007AF2A7A47A}";
const wchar_t kTreeLocal[] = L"{CB94D828-67FE-4275-A036-7B9BBEFBA549}";

TEST(RegistrationTest, WritesTheClassWithItsServerAndCategories) {
    const std::wstring key = std::wstring(L"CLSID\\") + kTree;
    EXPECT_EQ(L"OpcSim test server Tree", Value(key));
    const std::wstring dll = Value(key + L"\\InprocServer32");
    EXPECT_NE(std::wstring::npos, dll.find(L"opcsim.dll")) << dll;
    EXPECT_EQ(L"Apartment", Value(key + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"OpcSim.Test.Tree", Value(key + L"\\ProgID"));
    EXPECT_TRUE(HasKey(key + L"\\Implemented Categories\\" + Text(CATID_OPCDAServer10)));
    EXPECT_TRUE(HasKey(key + L"\\Implemented Categories\\" + Text(CATID_OPCDAServer20)));

    const std::wstring local = std::wstring(L"CLSID\\") + kTreeLocal;
    EXPECT_FALSE(HasKey(local + L"\\InprocServer32"));
    const std::wstring command = Value(local + L"\\LocalServer32");
    EXPECT_NE(std::wstring::npos, command.find(L"opcsimsrv.exe\" /config \"")) << command;
    EXPECT_EQ(L"Both", Value(L"CLSID\\{EA2AAAEC-8507-451F-ABE6-9BBC092AEEF4}\\InprocServer32",
                             L"ThreadingModel"));
}

TEST(RegistrationTest, WritesTheProgIdAsTold) {
    EXPECT_TRUE(HasKey(L"OpcSim.Test.Tree\\OPC"));
    EXPECT_EQ(kTree, Value(L"OpcSim.Test.Tree\\CLSID"));
    EXPECT_TRUE(HasKey(L"OpcSim.Test.NoOpcKey"));
    EXPECT_FALSE(HasKey(L"OpcSim.Test.NoOpcKey\\OPC"));
    EXPECT_TRUE(HasKey(L"OpcSim.Test.BadClsid\\OPC"));
    CLSID clsid;
    EXPECT_FALSE(SUCCEEDED(CLSIDFromString(Value(L"OpcSim.Test.BadClsid\\CLSID").c_str(), &clsid)));
    EXPECT_TRUE(HasKey(L"OpcSim.Test.NoClsid\\OPC"));
    EXPECT_FALSE(HasKey(L"OpcSim.Test.NoClsid\\CLSID"));
    EXPECT_FALSE(HasKey(L"OpcSim.Test.NoProgIdKey"));
    EXPECT_EQ(L"OpcSim.Test.OtherCase",
              Value(L"CLSID\\{5A0C7E21-93B4-4F6D-8E12-7C3B9D4A6F80}\\ProgID"));
    EXPECT_EQ(L"{5A0C7E21-93B4-4F6D-8E12-7C3B9D4A6F80}", Value(L"opcsim.test.othercase\\CLSID"));
    EXPECT_TRUE(HasKeySpelled(L"opcsim.test.othercase"));
    EXPECT_FALSE(HasKeySpelled(L"OpcSim.Test.OtherCase"));
    EXPECT_EQ(L"(none)", Value(L"CLSID\\{A2A6D761-EAE1-4799-9166-11FE88ACB4C5}\\ProgID"));
    EXPECT_FALSE(HasKey(L"CLSID\\{072F7BE5-C05C-499D-BC04-01C62E2DBF02}\\Implemented Categories"));
}

std::vector<std::wstring> ServersOf(IOPCServerList* list, const CATID& category) {
    CATID categories[1] = {category};
    ComPtr<IEnumGUID> classes;
    EXPECT_EQ(S_OK, list->EnumClassesOfCategories(1, categories, 1, categories, &classes));
    std::vector<std::wstring> progIds;
    if (!classes)
        return progIds;
    GUID batch[100];
    ULONG fetched = 0;
    HRESULT hr;
    do {
        hr = classes->Next(100, batch, &fetched);
        for (ULONG i = 0; i < fetched; ++i) {
            LPOLESTR progId = nullptr, userType = nullptr;
            if (SUCCEEDED(list->GetClassDetails(batch[i], &progId, &userType))) {
                EXPECT_NE(nullptr, userType);
                progIds.push_back(progId);
            } else {
                progIds.push_back(L"(no details) " + Text(batch[i]));
            }
            CoTaskMemFree(progId);
            CoTaskMemFree(userType);
        }
    } while (hr == S_OK);
    return progIds;
}

bool Lists(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(ServerBrowserTest, ListsTheServersOfEachCategory) {
    ComPtr<IOPCServerList> list;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_OpcServerList, nullptr,
                                     CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                         CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                     IID_PPV_ARGS(&list)));
    const auto da1 = ServersOf(list.Get(), CATID_OPCDAServer10);
    const auto da2 = ServersOf(list.Get(), CATID_OPCDAServer20);
    EXPECT_TRUE(Lists(da1, L"OpcSim.Test.Tree"));
    EXPECT_TRUE(Lists(da2, L"OpcSim.Test.Tree"));
    EXPECT_TRUE(Lists(da1, L"OpcSim.Test.Flat"));
    EXPECT_FALSE(Lists(da2, L"OpcSim.Test.Flat")) << "DA 1.0 only";
    EXPECT_TRUE(Lists(da2, L"OpcSim.Test.DA2Only"));
    EXPECT_FALSE(Lists(da1, L"OpcSim.Test.DA2Only"));
    EXPECT_FALSE(Lists(da1, L"OpcSim.Test.NoCategories"));
    EXPECT_FALSE(Lists(da2, L"OpcSim.Test.NoCategories"));
    EXPECT_TRUE(Lists(da2, L"(no details) {A2A6D761-EAE1-4799-9166-11FE88ACB4C5}"))
        << "GetClassDetails fails for a class without a ProgID";
}

TEST(ServerBrowserTest, GivesClassDetailsAndClassIds) {
    ComPtr<IOPCServerList> list;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_OpcServerList, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&list)));
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromString(kTree, &clsid));
    LPOLESTR progId = nullptr, userType = nullptr;
    ASSERT_EQ(S_OK, list->GetClassDetails(clsid, &progId, &userType));
    TaskString ownedProgId(progId), ownedUserType(userType);
    EXPECT_STREQ(L"OpcSim.Test.Tree", progId);
    EXPECT_STREQ(L"OpcSim test server Tree", userType);
    CLSID found = {};
    ASSERT_EQ(S_OK, list->CLSIDFromProgID(L"OpcSim.Test.Tree", &found));
    EXPECT_TRUE(IsEqualCLSID(clsid, found));
    EXPECT_EQ(CO_E_CLASSSTRING, list->CLSIDFromProgID(L"No.Such.Server", &found));
}

} // namespace
} // namespace opctest

namespace opctest {
namespace {

std::wstring WriteWorld(const wchar_t* name, const char* vendor) {
    wchar_t directory[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, directory);
    const std::wstring file =
        std::wstring(directory) + name + std::to_wstring(GetCurrentProcessId()) + L".json";
    const std::string text =
        std::string(R"({"servers": [{"progId": "OpcSim.Test.Rewired", "activation": "local",
            "clsid": "{3D8E0C5A-7B41-4C2E-9F0A-6B5D2C1E8F47}", "vendor": ")") +
        vendor + R"(", "space": [{"item": "x"}]}]})";
    FILE* out = _wfopen(file.c_str(), L"wb");
    if (out) {
        fwrite(text.data(), 1, text.size(), out);
        fclose(out);
    }
    return file;
}

std::wstring VendorOfNewServer() {
    ComPtr<IOPCServer> server;
    if (FAILED(CreateServer(L"OpcSim.Test.Rewired", IID_PPV_ARGS(&server))))
        return L"(not created)";
    OPCSERVERSTATUS* status = nullptr;
    if (FAILED(server->GetStatus(&status)) || !status)
        return L"(no status)";
    std::wstring vendor = status->szVendorInfo ? status->szVendorInfo : L"";
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    return vendor;
}

// A local server that lingers after its last client must not serve a world registered after
// it started: the class is withdrawn and the next activation reads the new file.
TEST(RegistrationTest, ReRegisteringAClassReachesTheNewWorld) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring bin = path;
    bin.erase(bin.find_last_of(L"\\/") + 1);
    const opcsim::Binaries binaries{bin + L"opcsim.dll", bin + L"opcsimsrv.exe"};
    const std::wstring first = WriteWorld(L"rewired-one-", "one");
    const std::wstring second = WriteWorld(L"rewired-two-", "two");
    std::string error;
    auto world = opcsim::LoadWorldFile(first, error);
    ASSERT_TRUE(world) << error;
    ASSERT_TRUE(opcsim::RegisterWorld(*world, first, binaries, error)) << error;
    EXPECT_EQ(L"one", VendorOfNewServer());
    world = opcsim::LoadWorldFile(second, error);
    ASSERT_TRUE(world) << error;
    ASSERT_TRUE(opcsim::RegisterWorld(*world, second, binaries, error)) << error;
    EXPECT_EQ(L"two", VendorOfNewServer());
    opcsim::UnregisterWorld(first);
    opcsim::UnregisterWorld(second);
    DeleteFileW(first.c_str());
    DeleteFileW(second.c_str());
    CLSID clsid;
    EXPECT_FALSE(SUCCEEDED(CLSIDFromProgID(L"OpcSim.Test.Rewired", &clsid))) << "removed";
}

} // namespace
} // namespace opctest

#include "registration.h"

#include "opcda.h"

#include <vector>

namespace opcsim {
namespace {

const wchar_t kWorldsKey[] = L"Software\\OpcSim\\Worlds";
const wchar_t kInvalidClsidText[] = L"{not-a-class-id}";

bool CreateKey(HKEY root, const std::wstring& path) {
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    return buffer;
}

std::vector<std::wstring> ReadMulti(HKEY root, const std::wstring& path, const wchar_t* name) {
    std::vector<std::wstring> out;
    DWORD size = 0;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0)
        return out;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_MULTI_SZ, nullptr, buffer.data(),
                     &size) != ERROR_SUCCESS)
        return out;
    for (const wchar_t* at = buffer.data(); *at; at += wcslen(at) + 1)
        out.emplace_back(at);
    return out;
}

bool WriteMulti(HKEY root, const std::wstring& path, const wchar_t* name,
                const std::vector<std::wstring>& values) {
    std::wstring joined;
    for (const std::wstring& value : values)
        joined += value + L'\0';
    joined += L'\0';
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG rc =
        RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(joined.data()),
                       static_cast<DWORD>(joined.size() * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool RegisterServer(const ServerConfig& server, const std::wstring& worldFile,
                    const Binaries& binaries, std::vector<std::wstring>& written) {
    const std::wstring clsid = GuidText(server.clsid);
    const std::wstring clsidKey = L"CLSID\\" + clsid;
    written.push_back(clsidKey);
    bool ok = SetRegistryString(HKEY_CLASSES_ROOT, clsidKey, nullptr, server.name);
    if (server.activation == Activation::InProcess) {
        ok = ok && SetRegistryString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr,
                                     binaries.inprocDll);
        ok = ok && SetRegistryString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32",
                                     L"ThreadingModel", server.threading);
    } else {
        ok = ok &&
             SetRegistryString(HKEY_CLASSES_ROOT, clsidKey + L"\\LocalServer32", nullptr,
                               L"\"" + binaries.localServer + L"\" /config \"" + worldFile + L"\"");
    }
    ok = ok && SetRegistryString(HKEY_CLASSES_ROOT, clsidKey + L"\\OpcSim", L"Config", worldFile);
    if (server.clsidProgId)
        ok = ok &&
             SetRegistryString(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", nullptr, server.progId);
    if (server.da1)
        ok = ok && CreateKey(HKEY_CLASSES_ROOT, clsidKey + L"\\Implemented Categories\\" +
                                                    GuidText(CATID_OPCDAServer10));
    if (server.da2)
        ok = ok && CreateKey(HKEY_CLASSES_ROOT, clsidKey + L"\\Implemented Categories\\" +
                                                    GuidText(CATID_OPCDAServer20));
    if (server.progIdKey) {
        const std::wstring& key = server.progIdKeyName;
        written.push_back(key);
        ok = ok && SetRegistryString(HKEY_CLASSES_ROOT, key, nullptr, server.name);
        if (server.opcKey)
            ok = ok && CreateKey(HKEY_CLASSES_ROOT, key + L"\\OPC");
        if (server.progIdClsid == L"valid")
            ok = ok && SetRegistryString(HKEY_CLASSES_ROOT, key + L"\\CLSID", nullptr, clsid);
        else if (server.progIdClsid == L"invalid")
            ok = ok &&
                 SetRegistryString(HKEY_CLASSES_ROOT, key + L"\\CLSID", nullptr, kInvalidClsidText);
    }
    return ok;
}

// The bookkeeping key of one world file: its path with the backslashes a key name cannot hold
// replaced.
std::wstring WorldKey(const std::wstring& worldFile) {
    std::wstring name = worldFile;
    for (wchar_t& c : name)
        if (c == L'\\')
            c = L'/';
    return std::wstring(kWorldsKey) + L"\\" + name;
}

void RemoveWorldKeys(const std::wstring& worldKey) {
    for (const std::wstring& key : ReadMulti(HKEY_LOCAL_MACHINE, worldKey, L"Keys"))
        if (!key.empty())
            RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, worldKey.c_str());
}

std::vector<std::wstring> WorldKeys() {
    std::vector<std::wstring> out;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWorldsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    wchar_t name[1024];
    for (DWORD index = 0;; ++index) {
        DWORD length = 1024;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        out.push_back(std::wstring(kWorldsKey) + L"\\" + name);
    }
    RegCloseKey(key);
    return out;
}

} // namespace

bool RegisterWorld(const World& world, const std::wstring& worldFile, const Binaries& binaries,
                   std::string& error) {
    const std::wstring worldKey = WorldKey(worldFile);
    RemoveWorldKeys(worldKey);
    std::vector<std::wstring> written;
    bool ok = SetRegistryString(HKEY_LOCAL_MACHINE, worldKey, L"File", worldFile);
    for (const auto& server : world.servers) {
        if (!RegisterServer(*server, worldFile, binaries, written)) {
            error = "cannot write the registry keys of " + Narrow(server->progId);
            ok = false;
        }
        // Recorded as we go, so that a failure half-way is undone by the unregistration.
        WriteMulti(HKEY_LOCAL_MACHINE, worldKey, L"Keys", written);
        if (!ok)
            return false;
    }
    if (world.browser.enumResult != S_OK) {
        HKEY key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, worldKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            const DWORD value = static_cast<DWORD>(world.browser.enumResult);
            RegSetValueExW(key, L"BrowserEnumResult", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&value), sizeof value);
            RegCloseKey(key);
        }
    }
    return ok;
}

void UnregisterWorld(const std::wstring& worldFile) {
    RemoveWorldKeys(WorldKey(worldFile));
}

void UnregisterAllWorlds() {
    for (const std::wstring& key : WorldKeys())
        RemoveWorldKeys(key);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kWorldsKey);
}

bool SetRegistryString(HKEY root, const std::wstring& path, const wchar_t* name,
                       const std::wstring& value) {
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG rc =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::wstring RegisteredWorldFile(const CLSID& clsid) {
    return ReadString(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(clsid) + L"\\OpcSim", L"Config");
}

HRESULT RegisteredBrowserEnumResult() {
    for (const std::wstring& key : WorldKeys()) {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"BrowserEnumResult", RRF_RT_REG_DWORD,
                         nullptr, &value, &size) == ERROR_SUCCESS)
            return static_cast<HRESULT>(value);
    }
    return S_OK;
}

} // namespace opcsim

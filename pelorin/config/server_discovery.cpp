#include "config/server_discovery.h"

#include <objbase.h>

#include <wrl/client.h>

#include <cstring>

#include "entry/server_settings.h"
#include "opcda.h"
#include "session/ansi_text.h"
#include "session/com_support.h"
#include "session/opc_error.h"

using Microsoft::WRL::ComPtr;

namespace pelorin {
namespace {

constexpr DWORD kNetworkBufferBytes = 16384;
constexpr ULONG kClassesPerStep = 100;
constexpr DWORD kRegistryBufferBytes = 256;

// Closes a registry key on every path.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Reset(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY Get() const { return key_; }
    HKEY* Receive() {
        Reset();
        return &key_;
    }
    void Reset() {
        if (key_)
            RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

// Closes a network enumeration on every path; Close tells whether it closed.
class NetworkEnumeration {
public:
    NetworkEnumeration() = default;
    ~NetworkEnumeration() { Close(); }
    NetworkEnumeration(const NetworkEnumeration&) = delete;
    NetworkEnumeration& operator=(const NetworkEnumeration&) = delete;
    HANDLE Get() const { return handle_; }
    HANDLE* Receive() { return &handle_; }
    bool Close() {
        if (!handle_)
            return false;
        const bool closed = WNetCloseEnum(handle_) == NO_ERROR;
        handle_ = nullptr;
        return closed;
    }

private:
    HANDLE handle_ = nullptr;
};

} // namespace

std::string NodeFromRemoteName(const char* remote) {
    if (!remote)
        return std::string();
    const char* slash = FindAnsiChar(remote, '\\');
    if (!slash)
        return remote;
    // The two characters that start at the backslash go (usually both backslashes).
    const char* rest = NextAnsiChar(NextAnsiChar(slash));
    return rest;
}

bool ServerDiscovery::EnumerateNetworkNodes(const NETRESOURCEA* container,
                                            std::vector<std::string>& nodes) {
    NetworkEnumeration enumeration;
    if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER,
                      const_cast<NETRESOURCEA*>(container), enumeration.Receive()) != NO_ERROR)
        return false;
    // NETRESOURCEA needs pointer alignment inside the byte buffer.
    std::vector<NETRESOURCEA> storage(kNetworkBufferBytes / sizeof(NETRESOURCEA) + 1);
    void* buffer = storage.data();
    for (;;) {
        std::memset(buffer, 0, kNetworkBufferBytes);
        DWORD count = static_cast<DWORD>(-1);
        DWORD size = kNetworkBufferBytes;
        if (WNetEnumResourceA(enumeration.Get(), &count, buffer, &size) != NO_ERROR)
            break;
        const auto* entries = static_cast<const NETRESOURCEA*>(buffer);
        const DWORD fits = kNetworkBufferBytes / sizeof(NETRESOURCEA);
        for (DWORD i = 0; i < count && i < fits; ++i) {
            const NETRESOURCEA& entry = entries[i];
            if (!(entry.dwUsage & RESOURCEUSAGE_CONTAINER))
                continue;
            if (entry.dwDisplayType == RESOURCEDISPLAYTYPE_SERVER) {
                nodes.push_back(NodeFromRemoteName(entry.lpRemoteName));
            } else {
                // A provider, domain or workgroup: its servers follow in the walk.
                NETRESOURCEA child = entry;
                EnumerateNetworkNodes(&child, nodes);
            }
        }
    }
    return enumeration.Close();
}

void ServerDiscovery::BeginListing(const char* node, const GUID& category) {
    servers_.clear();
    hasNode_ = node != nullptr;
    node_ = node ? node : "";
    category_ = category;
    step_ = Step::Browser;
}

bool ServerDiscovery::NextPass(ServerPass& pass) {
    pass = ServerPass();
    const char* node = hasNode_ ? node_.c_str() : nullptr;
    switch (step_) {
    case Step::Browser:
        pass.kind = ServerPass::Kind::Browser;
        pass.result = EnumerateBrowserServers(node, category_, pass.added);
        // Without a usable server browser, OPC 1.0 servers are still found in the registry.
        step_ = pass.result == 0 && IsEqualGUID(category_, kCatidOpcDaServer10) ? Step::Fallback
                                                                                : Step::Registry;
        return true;
    case Step::Fallback:
        pass.kind = ServerPass::Kind::RegistryFallback;
        pass.result = EnumerateRegistryServers(node, pass.added);
        step_ = Step::Registry;
        return true;
    case Step::Registry:
        pass.kind = ServerPass::Kind::Registry;
        pass.result = EnumerateRegistryServers(node, pass.added);
        step_ = Step::Done;
        return true;
    case Step::Done:
        break;
    }
    return false;
}

std::vector<ServerPass> ServerDiscovery::ListServers(const char* node, const GUID& category) {
    std::vector<ServerPass> passes;
    BeginListing(node, category);
    ServerPass pass;
    while (NextPass(pass))
        passes.push_back(pass);
    return passes;
}

// 1 when the browser answered; 0 when it could not be had or refused the category.
int ServerDiscovery::EnumerateBrowserServers(const char* node, const GUID& category,
                                             std::vector<const ServerEntry*>& added) {
    const bool named = node && *node;
    std::wstring computer = named ? AnsiToWide(node) : std::wstring();
    COSERVERINFO serverInfo = {};
    serverInfo.pwszName = named ? &computer[0] : nullptr;
    MULTI_QI query = {&IID_IOPCServerList, nullptr, S_OK};
    const HRESULT created = CoCreateInstanceEx(CLSID_OpcServerList, nullptr, kAnyServerContext,
                                               named ? &serverInfo : nullptr, 1, &query);
    ComPtr<IUnknown> answered;
    answered.Attach(query.pItf); // owned from here, whatever the results say
    ComPtr<IOPCServerList> browser;
    if (SUCCEEDED(created) && SUCCEEDED(query.hr) && answered)
        browser.Attach(static_cast<IOPCServerList*>(answered.Detach()));

    if (!browser) {
        std::string text;
        if (!named)
            text = "Error connecting to OPC 2.0 Server Browser.";
        else if (created == REGDB_E_CLASSNOTREG)
            text = "Please install the OPC 2.0 Components on " + std::string(node) + ".";
        else
            text = "Error connecting to OPC 2.0 Server Browser on " + std::string(node) + ".";
        const HRESULT code = FAILED(created)    ? created
                             : FAILED(query.hr) ? query.hr
                                                : E_NOINTERFACE;
        ReportComError(text, code);
        return 0;
    }

    CATID categories[1] = {category};
    ComPtr<IEnumGUID> classes;
    const HRESULT enumerated =
        browser->EnumClassesOfCategories(1, categories, 1, categories, classes.GetAddressOf());
    if (FAILED(enumerated)) {
        ReportComError("EnumClassesOfCategories failed:", enumerated);
        return 0;
    }
    if (!classes)
        return 1; // an answer without an enumerator lists nothing
    for (;;) {
        GUID batch[kClassesPerStep];
        ULONG fetched = 0;
        const HRESULT next = classes->Next(kClassesPerStep, batch, &fetched);
        if (FAILED(next))
            break;
        if (fetched > kClassesPerStep)
            fetched = kClassesPerStep; // never trust a count beyond what we asked for
        for (ULONG i = 0; i < fetched; ++i) {
            LPOLESTR progIdText = nullptr, userTypeText = nullptr;
            const HRESULT details = browser->GetClassDetails(batch[i], &progIdText, &userTypeText);
            // Both strings are ours to free on every path, also after a failure.
            const TaskString progId(progIdText), userType(userTypeText);
            if (FAILED(details) || !progId)
                continue; // that server is not listed, without a message
            if (const ServerEntry* entry = AddServerEntry(progId.get(), batch[i]))
                added.push_back(entry);
        }
        if (next != S_OK)
            break; // only a full batch (S_OK) may have more behind it
    }
    return 1;
}

// 1 when the registry was walked; 0 when the node's registry could not be reached.
int ServerDiscovery::EnumerateRegistryServers(const char* node,
                                              std::vector<const ServerEntry*>& added) {
    HKEY root = HKEY_CLASSES_ROOT;
    RegistryKey connected; // closing a predefined key, as the local answer may be, is harmless
    if (node) {
        if (RegConnectRegistryA(node, HKEY_CLASSES_ROOT, connected.Receive()) != ERROR_SUCCESS)
            return 0;
        root = connected.Get();
    }
    char name[kRegistryBufferBytes];
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(root, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        RegistryKey progIdKey, opcKey, clsidKey;
        if (RegOpenKeyExA(root, name, 0, KEY_QUERY_VALUE, progIdKey.Receive()) != ERROR_SUCCESS)
            continue;
        if (RegOpenKeyExA(progIdKey.Get(), "OPC", 0, KEY_QUERY_VALUE, opcKey.Receive()) !=
            ERROR_SUCCESS)
            continue;    // only keys with an "OPC" subkey are OPC servers
        GUID clsid = {}; // all zero when the "CLSID" subkey or its value is missing
        char value[kRegistryBufferBytes] = {};
        DWORD valueSize = sizeof value;
        DWORD type = 0;
        if (RegOpenKeyExA(progIdKey.Get(), "CLSID", 0, KEY_QUERY_VALUE, clsidKey.Receive()) ==
                ERROR_SUCCESS &&
            RegQueryValueExA(clsidKey.Get(), nullptr, nullptr, &type,
                             reinterpret_cast<BYTE*>(value), &valueSize) == ERROR_SUCCESS) {
            value[sizeof value - 1] = '\0';
            std::wstring text = AnsiToWide(value);
            const HRESULT parsed = CLSIDFromString(&text[0], &clsid);
            if (FAILED(parsed)) {
                ReportComError("CLSIDFromString: ", parsed);
                continue;
            }
        }
        if (const ServerEntry* entry = AddServerEntry(AnsiToWide(name).c_str(), clsid))
            added.push_back(entry);
    }
    return 1;
}

// The new entry, or null when a server of that ProgID is listed already (byte for byte, so
// double-byte texts compare whole and letter case counts).
const ServerEntry* ServerDiscovery::AddServerEntry(const wchar_t* progId, const GUID& clsid) {
    const std::string ansi = WideToAnsi(progId);
    for (const auto& entry : servers_)
        if (entry->progId == ansi)
            return nullptr;
    servers_.push_back(std::unique_ptr<ServerEntry>(new ServerEntry{ansi, clsid}));
    return servers_.back().get();
}

void ServerDiscovery::ReportComError(const std::string& prefix, HRESULT code) {
    reporter_.Report(FormatComError(prefix, code));
}

} // namespace pelorin

// Discovery of nodes and OPC servers for the server configuration step: the Windows network,
// the server browser and the class registry of this or another computer.
#include <windows.h>
#include <objbase.h>
#include <winnetwk.h>

#include <wrl/client.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/server_config_dialog.h"
#include "fw/app.h"
#include "fw/string.h"
#include "opcda.h"
#include "resources/resource.h"

namespace pelorin {
namespace {

constexpr DWORD kNetworkBufferBytes = 16384;
constexpr ULONG kClassesPerStep = 100;
constexpr DWORD kBrowserContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
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

// The node name of a server entry: the remote name without everything up to and including the
// two characters that start at its first backslash ("\\PC1" gives "PC1").
std::string NodeFromRemoteName(const char* remote) {
    if (!remote)
        return std::string();
    const char* slash = std::strchr(remote, '\\');
    if (!slash)
        return remote;
    return slash[1] ? std::string(slash + 2) : std::string();
}

}  // namespace

bool ServerConfigDialog::EnumerateNetworkNodes(const void* container) {
    HANDLE enumeration = nullptr;
    auto* parent = static_cast<NETRESOURCEA*>(const_cast<void*>(container));
    if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, parent,
                      &enumeration) != NO_ERROR)
        return false;
    // NETRESOURCEA needs pointer alignment inside the byte buffer.
    std::vector<NETRESOURCEA> storage(kNetworkBufferBytes / sizeof(NETRESOURCEA) + 1);
    void* buffer = storage.data();
    for (;;) {
        std::memset(buffer, 0, kNetworkBufferBytes);
        DWORD count = static_cast<DWORD>(-1);
        DWORD size = kNetworkBufferBytes;
        if (WNetEnumResourceA(enumeration, &count, buffer, &size) != NO_ERROR)
            break;
        const auto* entries = static_cast<NETRESOURCEA*>(buffer);
        for (DWORD i = 0; i < count; ++i) {
            const NETRESOURCEA& entry = entries[i];
            if (!(entry.dwUsage & RESOURCEUSAGE_CONTAINER))
                continue;
            if (entry.dwDisplayType == RESOURCEDISPLAYTYPE_SERVER) {
                const std::string node = NodeFromRemoteName(entry.lpRemoteName);
                SendMessageA(Item(IDC_NODE), CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(node.c_str()));
            } else {
                NETRESOURCEA child = entry;
                EnumerateNetworkNodes(&child);
            }
        }
    }
    const bool closed = WNetCloseEnum(enumeration) == NO_ERROR;
    SetWindowTextA(Item(IDC_NODE), node_.c_str());
    return closed;
}

int ServerConfigDialog::EnumerateBrowserServers(const char* node) {
    fw::WaitCursor wait;
    ClearServerList();
    const bool named = node && *node;
    std::wstring computer = named ? fw::ToWide(node) : std::wstring();
    COSERVERINFO serverInfo = {};
    serverInfo.pwszName = named ? &computer[0] : nullptr;
    MULTI_QI query = {&IID_IOPCServerList, nullptr, S_OK};
    const HRESULT created = CoCreateInstanceEx(CLSID_OpcServerList, nullptr, kBrowserContexts,
                                               named ? &serverInfo : nullptr, 1, &query);
    Microsoft::WRL::ComPtr<IOPCServerList> browser;
    if (SUCCEEDED(created) && SUCCEEDED(query.hr) && query.pItf)
        browser.Attach(static_cast<IOPCServerList*>(query.pItf));
    else if (query.pItf)
        query.pItf->Release();

    if (!browser) {
        std::string text;
        if (!named)
            text = "Error connecting to OPC 2.0 Server Browser.";
        else if (created == REGDB_E_CLASSNOTREG)
            text = "Please install the OPC 2.0 Components on " + std::string(node) + ".";
        else
            text = "Error connecting to OPC 2.0 Server Browser on " + std::string(node) + ".";
        const HRESULT code = FAILED(created) ? created : FAILED(query.hr) ? query.hr : E_NOINTERFACE;
        ReportComError(text.c_str(), code);
        return BrowserFallback(node);
    }

    CATID category = category_;
    Microsoft::WRL::ComPtr<IEnumGUID> classes;
    const HRESULT enumerated =
        browser->EnumClassesOfCategories(1, &category, 1, &category, classes.GetAddressOf());
    if (FAILED(enumerated)) {
        ReportComError("EnumClassesOfCategories failed:", enumerated);
        return BrowserFallback(node);
    }
    if (!classes)
        return 1;  // an answer without an enumerator lists nothing
    for (;;) {
        GUID batch[kClassesPerStep];
        ULONG fetched = 0;
        const HRESULT next = classes->Next(kClassesPerStep, batch, &fetched);
        if (FAILED(next))
            break;
        if (fetched > kClassesPerStep)
            fetched = kClassesPerStep;  // never trust a count beyond what we asked for
        for (ULONG i = 0; i < fetched; ++i) {
            LPOLESTR progId = nullptr, userType = nullptr;
            if (FAILED(browser->GetClassDetails(batch[i], &progId, &userType)))
                continue;
            if (progId)
                AddServerEntry(progId, batch[i]);
            CoTaskMemFree(progId);
            CoTaskMemFree(userType);
        }
        if (next != S_OK)
            break;
    }
    return 1;
}

// Without a usable server browser, OPC 1.0 servers are still found in the class registry.
int ServerConfigDialog::BrowserFallback(const char* node) {
    if (IsEqualGUID(category_, kCatidOpcDaServer10))
        return EnumerateRegistryServers(node);
    return 0;
}

int ServerConfigDialog::EnumerateRegistryServers(const char* node) {
    fw::WaitCursor wait;  // another computer's registry answers as slowly as the network
    HKEY root = HKEY_CLASSES_ROOT;
    RegistryKey connected;  // closing a predefined key, as the local answer may be, is harmless
    if (node) {
        if (RegConnectRegistryA(node, HKEY_CLASSES_ROOT, connected.Receive()) != ERROR_SUCCESS)
            return 0;
        root = connected.Get();
    }
    char name[kRegistryBufferBytes];
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(root, index, name, &nameSize, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        RegistryKey progIdKey, opcKey, clsidKey;
        if (RegOpenKeyExA(root, name, 0, KEY_QUERY_VALUE, progIdKey.Receive()) !=
            ERROR_SUCCESS)
            continue;
        if (RegOpenKeyExA(progIdKey.Get(), "OPC", 0, KEY_QUERY_VALUE, opcKey.Receive()) !=
            ERROR_SUCCESS)
            continue;
        GUID clsid = {};
        char value[kRegistryBufferBytes] = {};
        DWORD valueSize = sizeof value;
        DWORD type = 0;
        if (RegOpenKeyExA(progIdKey.Get(), "CLSID", 0, KEY_QUERY_VALUE, clsidKey.Receive()) ==
                ERROR_SUCCESS &&
            RegQueryValueExA(clsidKey.Get(), nullptr, nullptr, &type,
                             reinterpret_cast<BYTE*>(value), &valueSize) == ERROR_SUCCESS) {
            value[sizeof value - 1] = '\0';
            std::wstring text = fw::ToWide(value);
            const HRESULT parsed = CLSIDFromString(&text[0], &clsid);
            if (FAILED(parsed)) {
                ReportComError("CLSIDFromString: ", parsed);
                continue;
            }
        }
        AddServerEntry(fw::ToWide(name).c_str(), clsid);
    }
    OnServerSelChange();
    return 1;
}

int ServerConfigDialog::AddServerEntry(const wchar_t* progId, const GUID& clsid) {
    const std::string ansi = fw::ToAnsi(progId);
    for (const auto& entry : servers_)
        if (entry->progId == ansi)  // byte for byte, so double-byte texts compare whole
            return 0;
    servers_.push_back(std::unique_ptr<ServerEntry>(new ServerEntry{ansi, clsid}));
    ServerEntry* entry = servers_.back().get();
    HWND box = Item(IDC_SERVER);
    const LRESULT index = SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ansi.c_str()));
    if (index >= 0)
        SendMessageA(box, CB_SETITEMDATA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(entry));
    if (server_.str() == ansi) {
        if (index >= 0)
            SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else if (server_.empty()) {
        const LRESULT first = SendMessageA(box, CB_GETITEMDATA, 0, 0);
        if (first != CB_ERR && first != 0)
            clsid_ = reinterpret_cast<const ServerEntry*>(first)->clsid;
    }
    return 1;
}

void ServerConfigDialog::ReportComError(const char* prefix, HRESULT code) {
    std::string text = std::string(prefix ? prefix : "") + " ";
    char system[260] = {};
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, system, sizeof system, nullptr) > 0)
        text += system;
    else
        text += "Unknown Error.";
    fw::ShowMessage(Handle(), text.c_str(), MB_OK);
}

}  // namespace pelorin

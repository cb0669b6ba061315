// netprovider.dll: a Windows network provider (the NP* entry points mpr.dll calls) that serves
// the network tree of the file registered with it. Only enumeration is offered.
#include "net_registration.h"
#include "network_tree.h"

#include <windows.h>
#include <winnetwk.h>

extern "C" {
#include <npapi.h> // has no C++ guard of its own
}

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// The state of one open enumeration: the entries it lists and how far the caller got.
struct Enumeration {
    std::shared_ptr<netprovider::NetworkTree> tree; // keeps the entries alive
    const netprovider::NetEntry* container = nullptr;
    size_t next = 0;
    bool fails = false;
};

// The container a NETRESOURCE names: the provider's own (no remote name, or the provider's
// name), a workgroup or domain, or nothing we know.
const netprovider::NetEntry* FindContainer(const netprovider::NetworkTree& tree,
                                           const NETRESOURCEW* resource) {
    if (!resource || !resource->lpRemoteName || !*resource->lpRemoteName ||
        lstrcmpiW(resource->lpRemoteName, netprovider::kProviderName) == 0)
        return &tree.top;
    for (const netprovider::NetEntry& group : tree.top.children)
        if (lstrcmpiW(group.remoteName.c_str(), resource->lpRemoteName) == 0)
            return &group;
    for (const netprovider::NetEntry& group : tree.top.children)
        for (const netprovider::NetEntry& computer : group.children)
            if (lstrcmpiW(computer.remoteName.c_str(), resource->lpRemoteName) == 0)
                return &computer;
    return nullptr;
}

size_t StringBytes(const std::wstring& text) {
    return (text.size() + 1) * sizeof(wchar_t);
}

size_t EntryBytes(const netprovider::NetEntry& entry) {
    return sizeof(NETRESOURCEW) + StringBytes(entry.remoteName) + StringBytes(entry.comment) +
           StringBytes(netprovider::kProviderName);
}

} // namespace

extern "C" {

DWORD APIENTRY NPGetCaps(DWORD index) {
    switch (index) {
    case WNNC_SPEC_VERSION:
        return WNNC_SPEC_VERSION51;
    case WNNC_NET_TYPE:
        return 0x00FE0000; // a network type of our own
    case WNNC_DRIVER_VERSION:
        return 1;
    case WNNC_ENUMERATION:
        return WNNC_ENUM_GLOBAL | WNNC_ENUM_LOCAL;
    case WNNC_START:
        return 1; // started
    default:
        return 0; // no connections, dialogs or administration
    }
}

DWORD APIENTRY NPOpenEnum(DWORD scope, DWORD, DWORD, LPNETRESOURCEW resource, LPHANDLE handle) {
    if (!handle)
        return WN_BAD_VALUE;
    *handle = nullptr;
    auto* state = new (std::nothrow) Enumeration();
    if (!state)
        return WN_OUT_OF_MEMORY;
    try {
        if (scope == RESOURCE_GLOBALNET) {
            std::string error;
            state->tree = netprovider::LoadTreeFile(netprovider::RegisteredTreeFile(), error);
            if (!state->tree) {
                delete state;
                return WN_NO_NETWORK;
            }
            state->container = FindContainer(*state->tree, resource);
            if (!state->container) {
                delete state;
                return WN_BAD_NETNAME;
            }
            if (state->container->failure == netprovider::Failure::Open) {
                const bool top = state->container == &state->tree->top;
                delete state;
                return top ? WN_NO_NETWORK : WN_BAD_NETNAME;
            }
            state->fails = state->container->failure == netprovider::Failure::Enumerate;
        }
        // Connected and remembered resources: we have none, the enumeration is empty.
    } catch (...) {
        delete state;
        return WN_OUT_OF_MEMORY;
    }
    *handle = state;
    return WN_SUCCESS;
}

DWORD APIENTRY NPEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD bufferSize) {
    auto* state = static_cast<Enumeration*>(handle);
    if (!state || !count || !bufferSize)
        return WN_BAD_VALUE;
    if (state->fails)
        return WN_NO_NETWORK;
    const std::vector<netprovider::NetEntry> none;
    const std::vector<netprovider::NetEntry>& entries =
        state->container ? state->container->children : none;
    if (state->next >= entries.size()) {
        *count = 0;
        return WN_NO_MORE_ENTRIES;
    }
    const DWORD wanted = *count;
    // Structures from the front of the buffer, their strings from the back.
    BYTE* base = static_cast<BYTE*>(buffer);
    size_t front = 0, back = *bufferSize;
    DWORD given = 0;
    while (state->next < entries.size() && given < wanted) {
        const netprovider::NetEntry& entry = entries[state->next];
        const size_t need = EntryBytes(entry);
        if (!buffer || back < front + need) {
            if (given == 0) {
                *bufferSize = static_cast<DWORD>(need);
                return WN_MORE_DATA;
            }
            break;
        }
        auto* resource = reinterpret_cast<NETRESOURCEW*>(base + front);
        front += sizeof(NETRESOURCEW);
        auto place = [&](const std::wstring& text) {
            back -= StringBytes(text);
            std::memcpy(base + back, text.c_str(), StringBytes(text));
            return reinterpret_cast<LPWSTR>(base + back);
        };
        std::memset(resource, 0, sizeof *resource);
        resource->dwScope = RESOURCE_GLOBALNET;
        resource->dwType = RESOURCETYPE_ANY;
        resource->dwDisplayType = entry.displayType;
        resource->dwUsage = entry.usage;
        resource->lpLocalName = nullptr;
        resource->lpRemoteName = place(entry.remoteName);
        resource->lpComment = place(entry.comment);
        resource->lpProvider = place(netprovider::kProviderName);
        ++given;
        ++state->next;
    }
    *count = given;
    return WN_SUCCESS;
}

DWORD APIENTRY NPCloseEnum(HANDLE handle) {
    delete static_cast<Enumeration*>(handle);
    return WN_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}

} // extern "C"

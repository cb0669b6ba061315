#include "net_registration.h"

#include <windows.h>

#include <vector>

namespace netprovider {

const wchar_t kServiceName[] = L"OpcSimNet";
const wchar_t kProviderName[] = L"OpcSim Network";

namespace {

const wchar_t kOrderKey[] = L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
const wchar_t kServicesKey[] = L"System\\CurrentControlSet\\Services\\";

std::wstring ReadString(const std::wstring& path, const wchar_t* name) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return std::wstring();
    return buffer;
}

bool WriteString(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::vector<std::wstring> SplitOrder(const std::wstring& order) {
    std::vector<std::wstring> out;
    size_t start = 0;
    while (start <= order.size()) {
        const size_t comma = order.find(L',', start);
        const std::wstring name =
            order.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (!name.empty())
            out.push_back(name);
        if (comma == std::wstring::npos)
            break;
        start = comma + 1;
    }
    return out;
}

void WriteOrder(const std::vector<std::wstring>& names) {
    std::wstring order;
    for (const std::wstring& name : names)
        order += (order.empty() ? L"" : L",") + name;
    if (order.empty()) {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOrderKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"ProviderOrder");
            RegCloseKey(key);
        }
        return;
    }
    WriteString(kOrderKey, L"ProviderOrder", order);
}

} // namespace

bool RegisterNetwork(const std::wstring& treeFile, const std::wstring& providerDll,
                     std::string& error) {
    const std::wstring service = std::wstring(kServicesKey) + kServiceName + L"\\NetworkProvider";
    if (!WriteString(service, L"ProviderPath", providerDll) ||
        !WriteString(service, L"Name", kProviderName) ||
        !WriteString(service, L"TreeFile", treeFile)) {
        error = "cannot write the network provider's keys";
        return false;
    }
    std::vector<std::wstring> order = SplitOrder(ReadString(kOrderKey, L"ProviderOrder"));
    bool listed = false;
    for (const std::wstring& name : order)
        listed = listed || lstrcmpiW(name.c_str(), kServiceName) == 0;
    if (!listed) {
        order.push_back(kServiceName);
        WriteOrder(order);
    }
    return true;
}

void UnregisterNetwork() {
    std::vector<std::wstring> order = SplitOrder(ReadString(kOrderKey, L"ProviderOrder"));
    std::vector<std::wstring> kept;
    for (const std::wstring& name : order)
        if (lstrcmpiW(name.c_str(), kServiceName) != 0)
            kept.push_back(name);
    if (kept.size() != order.size())
        WriteOrder(kept);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kServicesKey) + kServiceName).c_str());
}

std::wstring RegisteredTreeFile() {
    return ReadString(std::wstring(kServicesKey) + kServiceName + L"\\NetworkProvider",
                      L"TreeFile");
}

} // namespace netprovider

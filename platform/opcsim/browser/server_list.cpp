#include "server_list.h"

#include "browser_behaviour.h"
#include "registration.h"
#include "single_interface.h"

#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace opcbrowser {
namespace {

volatile LONG g_objects = 0;

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

LPWSTR TaskString(const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy)
        memcpy(copy, text.c_str(), bytes);
    return copy;
}

// The category ids under a class's "Implemented Categories" or "Required Categories" key.
std::set<std::wstring> CategoryKeys(HKEY classKey, const wchar_t* which) {
    std::set<std::wstring> out;
    HKEY key;
    if (RegOpenKeyExW(classKey, which, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    wchar_t name[64];
    for (DWORD index = 0;; ++index) {
        DWORD length = 64;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        GUID guid;
        if (SUCCEEDED(CLSIDFromString(name, &guid)))
            out.insert(GuidText(guid)); // one spelling for the comparison
    }
    RegCloseKey(key);
    return out;
}

class EnumGuid final : public opcsim::SingleInterface<IEnumGUID, IID_IEnumGUID> {
public:
    // limit: at most that many per Next (0: no limit).
    EnumGuid(std::vector<GUID> guids, ULONG limit) : guids_(std::move(guids)), limit_(limit) {
        InterlockedIncrement(&g_objects);
    }

    STDMETHODIMP Next(ULONG count, GUID* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        const ULONG most = limit_ && limit_ < count ? limit_ : count;
        ULONG given = 0;
        while (given < most && position_ < guids_.size())
            out[given++] = guids_[position_++];
        if (fetched)
            *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const size_t left = guids_.size() - position_;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumGUID** copy) override {
        if (!copy)
            return E_POINTER;
        auto* clone = new (std::nothrow) EnumGuid(guids_, limit_);
        if (!clone) {
            *copy = nullptr;
            return E_OUTOFMEMORY;
        }
        clone->position_ = position_;
        return clone->QueryInterface(IID_IEnumGUID, reinterpret_cast<void**>(copy));
    }

private:
    ~EnumGuid() { InterlockedDecrement(&g_objects); }

    std::vector<GUID> guids_;
    const ULONG limit_;
    size_t position_ = 0;
};

class ServerList final : public opcsim::SingleInterface<IOPCServerList, IID_IOPCServerList> {
public:
    ServerList() { InterlockedIncrement(&g_objects); }


    // Classes that implement at least one of the implemented categories (any class when the
    // count is -1) and require nothing outside the required ones (no test when -1), in the
    // order of the class registry.
    STDMETHODIMP EnumClassesOfCategories(ULONG implementedCount, CATID implemented[],
                                         ULONG requiredCount, CATID required[],
                                         IEnumGUID** classes) override {
        if (!classes)
            return E_POINTER;
        *classes = nullptr;
        if ((implementedCount && implementedCount != ULONG(-1) && !implemented) ||
            (requiredCount && requiredCount != ULONG(-1) && !required))
            return E_INVALIDARG;
        try {
            const BrowserBehaviour behaviour = CurrentBehaviour();
            if (FAILED(behaviour.enumResult))
                return behaviour.enumResult;
            std::set<std::wstring> wanted, allowed;
            for (ULONG i = 0; implementedCount != ULONG(-1) && i < implementedCount; ++i)
                wanted.insert(GuidText(implemented[i]));
            for (ULONG i = 0; requiredCount != ULONG(-1) && i < requiredCount; ++i)
                allowed.insert(GuidText(required[i]));
            std::vector<GUID> found;
            HKEY root;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &root) != ERROR_SUCCESS)
                return E_FAIL;
            wchar_t name[64];
            for (DWORD index = 0;; ++index) {
                DWORD length = 64;
                if (RegEnumKeyExW(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    break;
                GUID clsid;
                if (FAILED(CLSIDFromString(name, &clsid)))
                    continue;
                HKEY classKey;
                if (RegOpenKeyExW(root, name, 0, KEY_READ, &classKey) != ERROR_SUCCESS)
                    continue;
                bool take = implementedCount == ULONG(-1);
                if (!take)
                    for (const std::wstring& category :
                         CategoryKeys(classKey, L"Implemented Categories"))
                        take = take || wanted.count(category);
                if (take && requiredCount != ULONG(-1))
                    for (const std::wstring& category :
                         CategoryKeys(classKey, L"Required Categories"))
                        take = take && allowed.count(category);
                RegCloseKey(classKey);
                if (take)
                    found.push_back(clsid);
            }
            RegCloseKey(root);
            auto* enumerator = new EnumGuid(std::move(found), behaviour.nextLimit);
            return enumerator->QueryInterface(IID_IEnumGUID, reinterpret_cast<void**>(classes));
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    STDMETHODIMP GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType) override {
        if (!progId || !userType)
            return E_POINTER;
        *progId = nullptr;
        *userType = nullptr;
        try {
            const BrowserBehaviour behaviour = CurrentBehaviour();
            const HRESULT forced = behaviour.DetailsResult(clsid);
            if (FAILED(forced)) {
                if (behaviour.stringsOnFailure) { // careless: the caller must free them anyway
                    *progId = TaskString(L"Careless.ProgId");
                    *userType = TaskString(L"Careless user type");
                }
                return forced;
            }
            const std::wstring key = L"CLSID\\" + GuidText(clsid);
            wchar_t name[512] = {};
            DWORD size = sizeof name - sizeof(wchar_t);
            if (RegGetValueW(HKEY_CLASSES_ROOT, (key + L"\\ProgID").c_str(), nullptr, RRF_RT_REG_SZ,
                             nullptr, name, &size) != ERROR_SUCCESS)
                return REGDB_E_CLASSNOTREG;
            wchar_t type[512] = {};
            size = sizeof type - sizeof(wchar_t);
            if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, type,
                             &size) != ERROR_SUCCESS)
                type[0] = L'\0';
            *progId = TaskString(name);
            *userType = TaskString(type);
            if (!*progId || !*userType) {
                CoTaskMemFree(*progId);
                CoTaskMemFree(*userType);
                *progId = *userType = nullptr;
                return E_OUTOFMEMORY;
            }
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    STDMETHODIMP CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) override {
        if (!progId || !clsid)
            return E_POINTER;
        return ::CLSIDFromProgID(progId, clsid);
    }

private:
    ~ServerList() { InterlockedDecrement(&g_objects); }

};

} // namespace

HRESULT CreateServerList(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    auto* list = new (std::nothrow) ServerList();
    if (!list)
        return E_OUTOFMEMORY;
    list->AddRef();
    const HRESULT hr = list->QueryInterface(riid, object);
    list->Release();
    return hr;
}

long LiveObjects() {
    return g_objects;
}

} // namespace opcbrowser

#include "enum_string.h"

namespace opcsim {

EnumString* EnumString::Create(std::shared_ptr<Stats> stats,
                               std::shared_ptr<const std::vector<std::wstring>> names,
                               std::shared_ptr<const ServerConfig> config) {
    return new EnumString(std::move(stats), std::move(names), std::move(config));
}

EnumString::EnumString(std::shared_ptr<Stats> stats,
                       std::shared_ptr<const std::vector<std::wstring>> names,
                       std::shared_ptr<const ServerConfig> config)
    : Tracked(std::move(stats), std::move(config), L"EnumString"), names_(std::move(names)) {}

STDMETHODIMP EnumString::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumString)) {
        *object = static_cast<IEnumString*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP EnumString::Next(ULONG count, LPOLESTR* names, ULONG* fetched) {
    Enter(L"IEnumString::Next");
    return Guarded([&]() -> HRESULT {
        if (!names || (count > 1 && !fetched))
            return E_POINTER;
        ULONG given = 0;
        while (given < count && position_ < names_->size()) {
            const std::wstring& name = (*names_)[position_];
            if (config_->faults.nullNames && given % 2 == 1) {
                names[given] = nullptr;
            } else if (config_->faults.hugeNames) {
                std::wstring huge = name;
                huge.resize(65536, L'W');
                names[given] = TaskString(huge);
            } else {
                names[given] = TaskString(name);
            }
            ++given;
            ++position_;
        }
        // A hostile server claims more than the caller's array holds; it writes only that many.
        ULONG claimed = given;
        if (config_->faults.nextExtra && given == count && count > 0)
            claimed += config_->faults.nextExtra;
        if (fetched)
            *fetched = claimed;
        return given == count ? S_OK : S_FALSE;
    });
}

STDMETHODIMP EnumString::Skip(ULONG count) {
    Enter(L"IEnumString::Skip");
    const size_t left = names_->size() - position_;
    if (count > left) {
        position_ = names_->size();
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

STDMETHODIMP EnumString::Reset() {
    Enter(L"IEnumString::Reset");
    position_ = 0;
    return S_OK;
}

STDMETHODIMP EnumString::Clone(IEnumString** copy) {
    Enter(L"IEnumString::Clone");
    if (!copy)
        return E_POINTER;
    return Guarded([&]() -> HRESULT {
        EnumString* clone = Create(stats_, names_, config_);
        clone->position_ = position_;
        return clone->QueryInterface(IID_IEnumString, reinterpret_cast<void**>(copy));
    });
}

} // namespace opcsim

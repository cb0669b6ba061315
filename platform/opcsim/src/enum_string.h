// IEnumString over a list of browse results, with the hostile answers a broken server may give.
#pragma once

#include "config.h"
#include "tracked.h"

#include <objidl.h>

#include <memory>
#include <string>
#include <vector>

namespace opcsim {

class EnumString final : public IEnumString, private Tracked {
public:
    // Created with no reference; the caller takes the first.
    static EnumString* Create(std::shared_ptr<Stats> stats,
                              std::shared_ptr<const std::vector<std::wstring>> names,
                              std::shared_ptr<const ServerConfig> config);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefTracked(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseTracked(); }
    // IEnumString
    STDMETHODIMP Next(ULONG count, LPOLESTR* names, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumString** copy) override;

private:
    EnumString(std::shared_ptr<Stats> stats, std::shared_ptr<const std::vector<std::wstring>> names,
               std::shared_ptr<const ServerConfig> config);

    IUnknown* Identity() override { return static_cast<IEnumString*>(this); }

    std::shared_ptr<const std::vector<std::wstring>> names_;
    size_t position_ = 0;
};

} // namespace opcsim

#include "connection_point.h"

#include <olectl.h>

namespace opcsim {

ConnectionPoint* ConnectionPoint::Create(std::shared_ptr<Stats> stats,
                                         std::shared_ptr<const ServerConfig> config,
                                         IConnectionPointContainer* container, REFIID iid,
                                         const std::wstring& interfaceName,
                                         std::shared_ptr<SinkList> sinks,
                                         std::function<void(DWORD)> onAdvise) {
    return new ConnectionPoint(std::move(stats), std::move(config), container, iid, interfaceName,
                               std::move(sinks), std::move(onAdvise));
}

ConnectionPoint::ConnectionPoint(std::shared_ptr<Stats> stats,
                                 std::shared_ptr<const ServerConfig> config,
                                 IConnectionPointContainer* container, REFIID iid,
                                 const std::wstring& interfaceName, std::shared_ptr<SinkList> sinks,
                                 std::function<void(DWORD)> onAdvise)
    : Tracked(std::move(stats), L"ConnectionPoint " + interfaceName), config_(std::move(config)),
      container_(container), iid_(iid), interfaceName_(interfaceName), sinks_(std::move(sinks)),
      onAdvise_(std::move(onAdvise)) {
    container_->AddRef();
}

ConnectionPoint::~ConnectionPoint() {
    container_->Release();
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
    stats_->Count(L"IConnectionPoint::GetConnectionInterface");
    if (!iid)
        return E_POINTER;
    *iid = iid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    stats_->Count(L"IConnectionPoint::GetConnectionPointContainer");
    if (!container)
        return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    stats_->Count(L"IConnectionPoint::Advise");
    return Guarded([&]() -> HRESULT {
        if (!cookie)
            return E_POINTER;
        *cookie = 0;
        const std::wstring method = L"Advise:" + interfaceName_;
        const HRESULT forced = config_->faults.Forced(method);
        if (FAILED(forced))
            return forced;
        if (!sink)
            return E_POINTER;
        HRESULT hr = sinks_->Add(sink, 0, cookie);
        if (FAILED(hr))
            return hr;
        if (onAdvise_)
            onAdvise_(*cookie);
        return forced;
    });
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    stats_->Count(L"IConnectionPoint::Unadvise");
    return Guarded([&]() -> HRESULT {
        const HRESULT forced = config_->faults.Forced(L"Unadvise:" + interfaceName_);
        if (FAILED(forced))
            return forced;
        return sinks_->Remove(cookie);
    });
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    stats_->Count(L"IConnectionPoint::EnumConnections");
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}

} // namespace opcsim

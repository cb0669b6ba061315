#include "connection_point.h"

#include <olectl.h>

namespace opcsim {

ConnectionPoint* ConnectionPoint::Create(std::shared_ptr<Stats> stats,
                                         std::shared_ptr<const ServerConfig> config,
                                         IConnectionPointContainer* container, REFIID iid,
                                         const std::wstring& interfaceName,
                                         std::shared_ptr<SinkList> sinks, ConnectionHooks hooks) {
    return new ConnectionPoint(std::move(stats), std::move(config), container, iid, interfaceName,
                               std::move(sinks), std::move(hooks));
}

ConnectionPoint::ConnectionPoint(std::shared_ptr<Stats> stats,
                                 std::shared_ptr<const ServerConfig> config,
                                 IConnectionPointContainer* container, REFIID iid,
                                 const std::wstring& interfaceName, std::shared_ptr<SinkList> sinks,
                                 ConnectionHooks hooks)
    : Tracked(std::move(stats), std::move(config), L"ConnectionPoint " + interfaceName),
      container_(container), iid_(iid), interfaceName_(interfaceName), sinks_(std::move(sinks)),
      hooks_(std::move(hooks)) {
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
    Enter(L"IConnectionPoint::GetConnectionInterface");
    if (!iid)
        return E_POINTER;
    *iid = iid_;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    Enter(L"IConnectionPoint::GetConnectionPointContainer");
    if (!container)
        return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    Enter(L"IConnectionPoint::Advise");
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
        if (hooks_.admit) {
            const HRESULT admitted = hooks_.admit();
            if (FAILED(admitted))
                return admitted;
        }
        HRESULT hr = sinks_->Add(sink, 0, cookie);
        if (FAILED(hr))
            return hr;
        if (hooks_.onAdvise)
            hooks_.onAdvise(*cookie);
        return forced;
    });
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    Enter(L"IConnectionPoint::Unadvise");
    return Guarded([&]() -> HRESULT {
        const HRESULT forced = config_->faults.Forced(L"Unadvise:" + interfaceName_);
        if (FAILED(forced)) {
            // Refused: the server keeps the sink. Told to, it calls it once more later on.
            if (config_->faults.keepSinkCallAfterMs && hooks_.lateCall)
                sinks_->KeepAndCallLater(cookie, config_->faults.keepSinkCallAfterMs,
                                         hooks_.lateCall);
            return forced;
        }
        return sinks_->Remove(cookie);
    });
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    Enter(L"IConnectionPoint::EnumConnections");
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}

} // namespace opcsim

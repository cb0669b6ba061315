// The grid's one connection point: the event sinks that containers advise, and the firing of an
// event to each of them.
#pragma once

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>
#include <wrl/client.h>

#include <vector>

namespace grid {

class EventPoint final : public IConnectionPoint {
public:
    // `container` is the control: it owns this point and lends it its reference count.
    explicit EventPoint(IConnectionPointContainer& container) : container_(container) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return container_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return container_.Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    // Calls every sink with the arguments in call order; sinks advised or unadvised by a handler
    // take effect from the next event.
    void Fire(DISPID id, VARIANT* args, UINT count);
    void DisconnectAll() { sinks_.clear(); }

private:
    struct Sink {
        DWORD cookie;
        Microsoft::WRL::ComPtr<IDispatch> dispatch;
    };

    IConnectionPointContainer& container_;
    std::vector<Sink> sinks_;
    DWORD lastCookie_ = 0;
};

// Enumerates exactly one connection point.
HRESULT CreatePointEnumerator(IConnectionPoint* point, IEnumConnectionPoints** out);

} // namespace grid

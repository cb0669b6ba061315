#include "event_point.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "grid_api.h"

using Microsoft::WRL::ComPtr;

namespace grid {
namespace {

class PointEnumerator final : public IEnumConnectionPoints {
public:
    PointEnumerator(IConnectionPoint* point, ULONG position) : point_(point), position_(position) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEnumConnectionPoints) {
            *out = static_cast<IEnumConnectionPoints*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (!left)
            delete this;
        return left;
    }

    STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
        if (!points || (count > 1 && !fetched))
            return E_POINTER;
        ULONG got = 0;
        if (count > 0 && position_ == 0) {
            points[0] = point_.Get();
            points[0]->AddRef();
            position_ = got = 1;
        }
        if (fetched)
            *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const bool enough = position_ + count <= 1;
        position_ = enough ? position_ + count : 1;
        return enough ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumConnectionPoints** out) override {
        if (!out)
            return E_POINTER;
        *out = new (std::nothrow) PointEnumerator(point_.Get(), position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~PointEnumerator() = default;

    std::atomic<ULONG> references_{1};
    ComPtr<IConnectionPoint> point_;
    ULONG position_;
};

} // namespace

HRESULT CreatePointEnumerator(IConnectionPoint* point, IEnumConnectionPoints** out) {
    if (!out)
        return E_POINTER;
    *out = new (std::nothrow) PointEnumerator(point, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP EventPoint::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP EventPoint::GetConnectionInterface(IID* iid) {
    if (!iid)
        return E_POINTER;
    *iid = kEventsId;
    return S_OK;
}

STDMETHODIMP EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container)
        return E_POINTER;
    *container = &container_;
    container_.AddRef();
    return S_OK;
}

STDMETHODIMP EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    ComPtr<IDispatch> dispatch;
    // The events dispinterface is an IDispatch; a sink that only answers IDispatch is fine too.
    if (FAILED(
            sink->QueryInterface(kEventsId, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
        FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch))))
        return CONNECT_E_CANNOTCONNECT;
    try {
        sinks_.push_back({++lastCookie_, dispatch});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *cookie = lastCookie_;
    return S_OK;
}

STDMETHODIMP EventPoint::Unadvise(DWORD cookie) {
    auto found = std::find_if(sinks_.begin(), sinks_.end(),
                              [cookie](const Sink& sink) { return sink.cookie == cookie; });
    if (found == sinks_.end())
        return CONNECT_E_NOCONNECTION;
    sinks_.erase(found);
    return S_OK;
}

STDMETHODIMP EventPoint::EnumConnections(IEnumConnections** connections) {
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}

void EventPoint::Fire(DISPID id, VARIANT* args, UINT count) {
    std::vector<VARIANT> reversed(args, args + count);
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params = {count ? reversed.data() : nullptr, nullptr, count, 0};
    const std::vector<Sink> sinks = sinks_;
    for (const Sink& sink : sinks) {
        // A sink's failure is its own business; the other sinks still hear of the event.
        HRESULT hr = sink.dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                           &params, nullptr, nullptr, nullptr);
        (void)hr;
    }
}

} // namespace grid

// The container's half of hosting a windowed COM control: the client site that the control
// activates itself in, and the sink that takes its events to the dialog's event table.
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "dialog_controls.h"

using Microsoft::WRL::ComPtr;

namespace fw {
namespace {

// Client site and in-place site of one control. The control asks it for its parent window and
// its rectangle; the rest of the container's side of in-place activation has nothing to do here
// (no frame, no menus, no undo).
class ControlSite final : public IOleClientSite, public IOleInPlaceSite {
public:
    ControlSite(HWND container, const RECT& rect) : container_(container), rect_(rect) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window)
            return E_POINTER;
        *window = container_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !document || !position || !clip)
            return E_POINTER;
        *frame = nullptr;
        *document = nullptr;
        *position = rect_;
        *clip = rect_;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = GetAncestor(container_, GA_ROOT);
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT rect) override {
        if (!rect)
            return E_POINTER;
        rect_ = *rect;
        return S_OK;
    }

private:
    ~ControlSite() = default;

    std::atomic<ULONG> references_{1};
    HWND container_;
    RECT rect_;
};

// Receives the control's events and hands them to the container's dialog. Once detached it drops
// them: the control may still fire while it is being closed.
class EventSink final : public IDispatch {
public:
    explicit EventSink(REFIID events) : events_(events) {}

    void Attach(HWND control) { control_ = control; }
    void Detach() { control_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                        EXCEPINFO* exception, UINT*) override {
        if (!params || (params->cArgs && !params->rgvarg))
            return E_INVALIDARG;
        HWND control = control_;
        if (!control || !IsWindow(control))
            return S_FALSE;
        HRESULT hr;
        try {
            hr = DialogControls::DispatchEvent(
                GetParent(control), static_cast<UINT>(GetDlgCtrlID(control)), dispid, *params);
        } catch (...) {
            hr = DISP_E_EXCEPTION; // ours must not unwind into the control either
        }
        if (hr == DISP_E_EXCEPTION && exception) {
            *exception = EXCEPINFO();
            exception->scode = E_UNEXPECTED;
        }
        return hr;
    }

private:
    ~EventSink() = default;

    std::atomic<ULONG> references_{1};
    IID events_;
    HWND control_ = nullptr;
};

// The dispinterface of the control's default events: from its class information, or else its
// first connection point.
bool FindEventInterface(IUnknown* object, IID& events) {
    ComPtr<IProvideClassInfo2> info;
    if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&info))) &&
        SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events)))
        return true;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IEnumConnectionPoints> points;
    ComPtr<IConnectionPoint> first;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&container))) ||
        FAILED(container->EnumConnectionPoints(&points)) ||
        points->Next(1, first.GetAddressOf(), nullptr) != S_OK)
        return false;
    return SUCCEEDED(first->GetConnectionInterface(&events));
}

} // namespace

class HostedControl;

namespace {

// The hosted controls of this process by their window. Every call a wrapper makes looks its
// control up (a grid filled with thousands of cells makes thousands): a window property would
// cost a trip to the window system each time, this costs a short search.
class ControlRegistry {
public:
    bool Add(HWND window, HostedControl* control) noexcept {
        AcquireSRWLockExclusive(&lock_);
        bool added = true;
        try {
            entries_.emplace_back(window, control);
        } catch (...) {
            added = false;
        }
        ReleaseSRWLockExclusive(&lock_);
        return added;
    }
    void Remove(const HostedControl* control) noexcept {
        AcquireSRWLockExclusive(&lock_);
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                      [&](const Entry& entry) { return entry.second == control; }),
                       entries_.end());
        ReleaseSRWLockExclusive(&lock_);
    }
    HostedControl* Find(HWND window) noexcept {
        AcquireSRWLockShared(&lock_);
        HostedControl* found = nullptr;
        for (const Entry& entry : entries_)
            if (entry.first == window)
                found = entry.second;
        ReleaseSRWLockShared(&lock_);
        return found;
    }

private:
    using Entry = std::pair<HWND, HostedControl*>;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<Entry> entries_;
};

ControlRegistry gControls;

} // namespace

class HostedControl {
public:
    ComPtr<IOleObject> object;
    ComPtr<IDispatch> dispatch;
    ComPtr<ControlSite> site;
    ComPtr<EventSink> sink;
    ComPtr<IConnectionPoint> events;
    DWORD cookie = 0;
    HWND window = nullptr;

    HRESULT Start(HWND container, REFCLSID clsid, const RECT& rect, UINT id);
    void Stop();

private:
    HRESULT ConnectEvents();
};

HRESULT HostedControl::Start(HWND container, REFCLSID clsid, const RECT& rect, UINT id) {
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    if (FAILED(hr))
        return hr;
    site.Attach(new (std::nothrow) ControlSite(container, rect));
    if (!site)
        return E_OUTOFMEMORY;
    if (FAILED(hr = object->SetClientSite(site.Get())))
        return hr;
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(object.As(&persist)) && FAILED(hr = persist->InitNew()))
        return hr;
    RECT position = rect;
    hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, container, &position);
    if (FAILED(hr))
        return hr;
    ComPtr<IOleInPlaceObject> inPlace;
    if (FAILED(hr = object.As(&inPlace)) || FAILED(hr = inPlace->GetWindow(&window)))
        return hr;
    if (!window || GetParent(window) != container)
        return E_UNEXPECTED;
    if (FAILED(hr = object.As(&dispatch)))
        return hr;
    SetWindowLongPtrW(window, GWLP_ID, static_cast<LONG_PTR>(id));
    if (!gControls.Add(window, this))
        return E_OUTOFMEMORY;
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(container, WM_GETFONT, 0, 0)))
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return ConnectEvents();
}

HRESULT HostedControl::ConnectEvents() {
    IID iid;
    if (!FindEventInterface(object.Get(), iid))
        return S_OK; // a control without events
    ComPtr<IConnectionPointContainer> points;
    HRESULT hr = object.As(&points);
    if (SUCCEEDED(hr))
        hr = points->FindConnectionPoint(iid, &events);
    if (FAILED(hr))
        return hr;
    sink.Attach(new (std::nothrow) EventSink(iid));
    if (!sink)
        return E_OUTOFMEMORY;
    sink->Attach(window);
    return events->Advise(sink.Get(), &cookie);
}

void HostedControl::Stop() {
    if (sink)
        sink->Detach();
    if (events && cookie) {
        HRESULT hr = events->Unadvise(cookie);
        (void)hr; // the object goes away next; a refused unadvise changes nothing for us
    }
    events.Reset();
    cookie = 0;
    gControls.Remove(this);
    if (object) {
        // Close deactivates the control, which destroys its window; our references go after.
        HRESULT closed = object->Close(OLECLOSE_NOSAVE);
        HRESULT unsited = object->SetClientSite(nullptr);
        (void)closed;
        (void)unsited;
    }
    dispatch.Reset();
    object.Reset();
    sink.Reset();
    site.Reset();
    window = nullptr;
}

HostedControl* CreateHostedControl(HWND container, REFCLSID clsid, const RECT& rect, UINT id,
                                   HRESULT* result) noexcept {
    auto* control = new (std::nothrow) HostedControl;
    HRESULT hr = E_OUTOFMEMORY;
    if (control) {
        hr = IsWindow(container) ? control->Start(container, clsid, rect, id) : E_INVALIDARG;
        if (FAILED(hr)) {
            control->Stop();
            delete control;
            control = nullptr;
        }
    }
    if (result)
        *result = hr;
    return control;
}

void DestroyHostedControl(HostedControl* control) noexcept {
    if (!control)
        return;
    control->Stop();
    delete control;
}

HostedControl* FindHostedControl(HWND window) noexcept {
    if (!window || !IsWindow(window))
        return nullptr;
    return gControls.Find(window);
}

HWND HostedControlWindow(const HostedControl* control) noexcept {
    return control ? control->window : nullptr;
}

HRESULT InvokeHostedControl(HostedControl* control, DISPID id, WORD flags, VARIANT* args,
                            UINT count, VARIANT* result) noexcept {
    if (!control || !control->dispatch)
        return E_HANDLE;
    if (count && !args)
        return E_POINTER;
    // IDispatch takes the arguments last first; the VARIANTs are lent, not copied.
    std::vector<VARIANT> reversed;
    try {
        reversed.assign(args, args + count);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params = {count ? reversed.data() : nullptr, nullptr, count, 0};
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    HRESULT hr = control->dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                           result, &exception, &badArgument);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn)
            exception.pfnDeferredFillIn(&exception);
        if (exception.scode)
            hr = exception.scode;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    return hr;
}

} // namespace fw

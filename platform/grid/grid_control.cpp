#include "grid_control.h"

#include "grid_api.h"

namespace grid {

std::atomic<long> gServerLocks{0};

GridControl::GridControl()
    : window_(model_, *this, static_cast<IDispatch&>(*this)), events_(*this) {
    ++gServerLocks;
}

GridControl::~GridControl() {
    window_.Destroy();
    --gServerLocks;
}

STDMETHODIMP_(ULONG) GridControl::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP GridControl::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch)
        *out = static_cast<IDispatch*>(this);
    else if (iid == IID_IOleObject)
        *out = static_cast<IOleObject*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
        *out = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
        *out = static_cast<IProvideClassInfo2*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *out = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
        *out = static_cast<IPersistStreamInit*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// ------------------------------------------------------------------ IOleObject

STDMETHODIMP GridControl::SetClientSite(IOleClientSite* site) {
    site_ = site;
    return S_OK;
}

STDMETHODIMP GridControl::GetClientSite(IOleClientSite** site) {
    if (!site)
        return E_POINTER;
    *site = site_.Get();
    if (*site)
        (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP GridControl::Close(DWORD) {
    InPlaceDeactivate();
    events_.DisconnectAll(); // a closed control raises no more events
    return S_OK;
}

STDMETHODIMP GridControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP GridControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data)
        *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP GridControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                 LPCRECT position) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        break;
    case OLEIVERB_HIDE:
        if (window_.Handle())
            ShowWindow(window_.Handle(), SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
    if (window_.Handle()) {
        ShowWindow(window_.Handle(), SW_SHOW);
        return position ? SetObjectRects(position, position) : S_OK;
    }
    // In-place activation: the site names our parent window and our place in it.
    Microsoft::WRL::ComPtr<IOleInPlaceSite> inPlace;
    IOleClientSite* from = site ? site : site_.Get();
    if (!from || FAILED(from->QueryInterface(IID_PPV_ARGS(&inPlace))))
        return E_NOINTERFACE;
    if (inPlace->CanInPlaceActivate() != S_OK)
        return E_FAIL;
    RECT rect = {};
    if (position) {
        rect = *position;
    } else {
        Microsoft::WRL::ComPtr<IOleInPlaceFrame> frame;
        Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> document;
        RECT clip;
        OLEINPLACEFRAMEINFO info = {sizeof info, FALSE, nullptr, nullptr, 0};
        HRESULT hr = inPlace->GetWindowContext(&frame, &document, &rect, &clip, &info);
        if (FAILED(hr))
            return hr;
    }
    if (!parent) {
        HRESULT hr = inPlace->GetWindow(&parent);
        if (FAILED(hr))
            return hr;
    }
    HRESULT hr = inPlace->OnInPlaceActivate();
    if (FAILED(hr))
        return hr;
    if (!window_.Create(parent, rect)) {
        hr = inPlace->OnInPlaceDeactivate();
        return E_FAIL;
    }
    inPlaceSite_ = inPlace;
    return S_OK;
}

STDMETHODIMP GridControl::EnumVerbs(IEnumOLEVERB** verbs) {
    if (verbs)
        *verbs = nullptr;
    return OLEOBJ_E_NOVERBS;
}

STDMETHODIMP GridControl::GetUserClassID(CLSID* clsid) {
    if (!clsid)
        return E_POINTER;
    *clsid = kClassId;
    return S_OK;
}

STDMETHODIMP GridControl::GetUserType(DWORD, LPOLESTR* type) {
    if (type)
        *type = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP GridControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP GridControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP GridControl::Advise(IAdviseSink*, DWORD* connection) {
    if (connection)
        *connection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP GridControl::EnumAdvise(IEnumSTATDATA** advise) {
    if (advise)
        *advise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP GridControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status)
        return E_POINTER;
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_SETCLIENTSITEFIRST | OLEMISC_CANTLINKINSIDE;
    return S_OK;
}

// ------------------------------------------------------------------ IOleInPlaceObject

STDMETHODIMP GridControl::GetWindow(HWND* window) {
    if (!window)
        return E_POINTER;
    *window = window_.Handle();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP GridControl::InPlaceDeactivate() {
    window_.Destroy();
    if (inPlaceSite_) {
        Microsoft::WRL::ComPtr<IOleInPlaceSite> site;
        site.Swap(inPlaceSite_);
        HRESULT hr = site->OnInPlaceDeactivate();
        (void)hr; // the site is told; nothing of ours depends on its answer
    }
    return S_OK;
}

STDMETHODIMP GridControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position)
        return E_POINTER;
    if (window_.Handle())
        MoveWindow(window_.Handle(), position->left, position->top,
                   position->right - position->left, position->bottom - position->top, TRUE);
    return S_OK;
}

// ------------------------------------------------------------------ class info, events

STDMETHODIMP GridControl::GetClassInfo(ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL; // no type library: callers use the dispatch ids directly
}

STDMETHODIMP GridControl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID)
        return E_INVALIDARG;
    *guid = kEventsId;
    return S_OK;
}

STDMETHODIMP GridControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return CreatePointEnumerator(&events_, points);
}

STDMETHODIMP GridControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (iid != kEventsId)
        return CONNECT_E_NOCONNECTION;
    *point = &events_;
    events_.AddRef();
    return S_OK;
}

void GridControl::CellSelect(Cell cell, long flag) {
    VARIANT args[3];
    const long values[3] = {cell.column, cell.row, flag};
    for (int i = 0; i < 3; ++i) {
        VariantInit(&args[i]);
        V_VT(&args[i]) = VT_I4;
        V_I4(&args[i]) = values[i];
    }
    events_.Fire(kCellSelect, args, 3);
}

bool GridControl::CellChange(Cell cell) {
    long accept = 1;
    VARIANT args[3];
    for (VARIANT& arg : args)
        VariantInit(&arg);
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = cell.column;
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = cell.row;
    V_VT(&args[2]) = VT_I4 | VT_BYREF;
    V_I4REF(&args[2]) = &accept;
    events_.Fire(kCellChange, args, 3);
    return accept != 0;
}

bool GridControl::CellKeyDown(Cell cell, UINT key, long shift) {
    long process = 1;
    const long values[5] = {cell.column, cell.row, 0, static_cast<long>(key), shift};
    VARIANT args[6];
    for (int i = 0; i < 5; ++i) {
        VariantInit(&args[i]);
        V_VT(&args[i]) = VT_I4;
        V_I4(&args[i]) = values[i];
    }
    VariantInit(&args[5]);
    V_VT(&args[5]) = VT_I4 | VT_BYREF;
    V_I4REF(&args[5]) = &process;
    events_.Fire(kCellKeyDown, args, 6);
    return process != 0;
}

} // namespace grid

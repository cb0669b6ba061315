#include "group.h"

#include "connection_point.h"
#include "notifier.h"
#include "stream.h"

#include <opcerror.h>

#include <olectl.h>

#include <vector>

namespace opcsim {
namespace {

const wchar_t* FormatName(CLIPFORMAT format) {
    if (format == DataTimeFormat())
        return L"OPCSTMFORMATDATATIME";
    if (format == WriteCompleteFormat())
        return L"OPCSTMFORMATWRITECOMPLETE";
    if (format == DataFormat())
        return L"OPCSTMFORMATDATA";
    return nullptr;
}

// A stream subscription must ask for exactly what the DA 1.0 streams are: one of the registered
// stream formats, the content, all of it, for no device, in global memory and nothing else.
HRESULT CheckFormat(const FORMATETC& format) {
    if (!FormatName(format.cfFormat))
        return DV_E_FORMATETC;
    if (format.ptd)
        return DV_E_DVTARGETDEVICE;
    if (format.dwAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (format.lindex != -1)
        return DV_E_LINDEX;
    if (format.tymed != TYMED_HGLOBAL)
        return DV_E_TYMED;
    return S_OK;
}

} // namespace

Group* Group::Create(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
                     const GroupState& state) {
    return new Group(std::move(stats), std::move(config), state);
}

Group::Group(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
             const GroupState& state)
    : Tracked(stats, std::move(config), L"Group " + state.name), serverHandle_(state.serverHandle),
      state_(state) {
    subscriptions_ = std::make_shared<Subscriptions>(config_->OwnThreads(), stats_,
                                                     state.clientHandle, state.active != FALSE);
    notifier_ = StartNotifier(config_, subscriptions_, state.updateRate);
}

Group::~Group() {
    if (notifier_)
        notifier_->Stop();
    // A client that never withdrew its subscriptions: the group lets its sinks go with itself.
    subscriptions_->Clear();
}

std::wstring Group::Name() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.name;
}

STDMETHODIMP Group::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCGroupStateMgt))
        *object = static_cast<IOPCGroupStateMgt*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer) &&
             !config_->faults.Lacks(L"IConnectionPointContainer"))
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(riid, IID_IDataObject) && !config_->faults.Lacks(L"IDataObject"))
        *object = static_cast<IDataObject*>(this);
    if (!*object)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// ---------------------------------------------------------------- IOPCGroupStateMgt

STDMETHODIMP Group::GetState(DWORD* updateRate, BOOL* active, LPWSTR* name, LONG* timeBias,
                             FLOAT* deadband, DWORD* lcid, OPCHANDLE* clientGroup,
                             OPCHANDLE* serverGroup) {
    Enter(L"IOPCGroupStateMgt::GetState");
    return Guarded([&]() -> HRESULT {
        if (!updateRate || !active || !name || !timeBias || !deadband || !lcid || !clientGroup ||
            !serverGroup)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(mutex_);
        *updateRate = state_.updateRate;
        *active = state_.active;
        *name = config_->faults.NullOut(L"GetState") ? nullptr : TaskString(state_.name);
        *timeBias = state_.timeBias;
        *deadband = state_.deadband;
        *lcid = state_.lcid;
        *clientGroup = state_.clientHandle;
        *serverGroup = state_.serverHandle;
        return S_OK;
    });
}

STDMETHODIMP Group::SetState(DWORD* requestedRate, DWORD* revisedRate, BOOL* active, LONG* timeBias,
                             FLOAT* deadband, DWORD* lcid, OPCHANDLE* clientGroup) {
    Enter(L"IOPCGroupStateMgt::SetState");
    if (!revisedRate)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (deadband && (*deadband < 0.0f || *deadband > 100.0f))
        return E_INVALIDARG;
    HRESULT result = S_OK;
    if (requestedRate) {
        state_.updateRate = config_->ReviseRate(*requestedRate);
        if (state_.updateRate != *requestedRate)
            result = OPC_S_UNSUPPORTEDRATE;
        if (notifier_)
            notifier_->SetPeriod(state_.updateRate);
    }
    if (active) {
        state_.active = *active;
        subscriptions_->SetActive(*active != FALSE);
    }
    if (timeBias)
        state_.timeBias = *timeBias;
    if (deadband)
        state_.deadband = *deadband;
    if (lcid)
        state_.lcid = *lcid;
    if (clientGroup) {
        state_.clientHandle = *clientGroup;
        subscriptions_->SetClientGroup(*clientGroup);
    }
    *revisedRate = state_.updateRate;
    return result;
}

STDMETHODIMP Group::SetName(LPCWSTR name) {
    Enter(L"IOPCGroupStateMgt::SetName");
    return Guarded([&]() -> HRESULT {
        if (!name || !*name)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        state_.name = name;
        return S_OK;
    });
}

STDMETHODIMP Group::CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* group) {
    Enter(L"IOPCGroupStateMgt::CloneGroup");
    if (group)
        *group = nullptr;
    return E_NOTIMPL;
}

// ---------------------------------------------------------------- IConnectionPointContainer

STDMETHODIMP Group::EnumConnectionPoints(IEnumConnectionPoints** points) {
    Enter(L"IConnectionPointContainer::EnumConnectionPoints");
    if (points)
        *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Group::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    Enter(L"IConnectionPointContainer::FindConnectionPoint");
    return Guarded([&]() -> HRESULT {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (!IsEqualIID(riid, IID_IOPCDataCallback) || config_->faults.Lacks(L"IOPCDataCallback"))
            return CONNECT_E_NOCONNECTION;
        const HRESULT forced = config_->faults.Forced(L"FindConnectionPoint:IOPCDataCallback");
        if (FAILED(forced))
            return forced;
        if (config_->faults.NullOut(L"FindConnectionPoint"))
            return S_OK;
        // DA 1.0 and 2.0 notifications are not mixed on one group.
        std::shared_ptr<Subscriptions> subscriptions = subscriptions_;
        ConnectionHooks hooks;
        hooks.admit = [subscriptions]() -> HRESULT {
            return subscriptions->Streams()->Count() ? CONNECT_E_ADVISELIMIT : S_OK;
        };
        hooks.lateCall = subscriptions_->LateCallbackCall();
        ConnectionPoint* created =
            ConnectionPoint::Create(stats_, config_, this, IID_IOPCDataCallback,
                                    L"IOPCDataCallback", subscriptions_->Callbacks(), hooks);
        created->QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(point));
        return forced;
    });
}

// ---------------------------------------------------------------- IDataObject

STDMETHODIMP Group::GetData(FORMATETC*, STGMEDIUM*) {
    Enter(L"IDataObject::GetData");
    return E_NOTIMPL;
}

STDMETHODIMP Group::GetDataHere(FORMATETC*, STGMEDIUM*) {
    Enter(L"IDataObject::GetDataHere");
    return E_NOTIMPL;
}

STDMETHODIMP Group::QueryGetData(FORMATETC* format) {
    Enter(L"IDataObject::QueryGetData");
    if (!format)
        return E_POINTER;
    return CheckFormat(*format);
}

STDMETHODIMP Group::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    Enter(L"IDataObject::GetCanonicalFormatEtc");
    if (out)
        out->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Group::SetData(FORMATETC*, STGMEDIUM*, BOOL) {
    Enter(L"IDataObject::SetData");
    return E_NOTIMPL;
}

STDMETHODIMP Group::EnumFormatEtc(DWORD, IEnumFORMATETC** formats) {
    Enter(L"IDataObject::EnumFormatEtc");
    if (formats)
        *formats = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Group::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) {
    Enter(L"IDataObject::DAdvise");
    return Guarded([&]() -> HRESULT {
        if (!connection)
            return E_POINTER;
        *connection = 0;
        if (!format || !sink)
            return E_POINTER;
        const wchar_t* name = FormatName(format->cfFormat);
        HRESULT forced = config_->faults.Forced(L"DAdvise");
        if (name && config_->faults.HasForced(std::wstring(L"DAdvise:") + name))
            forced = config_->faults.Forced(std::wstring(L"DAdvise:") + name);
        if (FAILED(forced))
            return forced;
        const HRESULT checked = CheckFormat(*format);
        if (FAILED(checked))
            return checked;
        // One subscription per format, and none beside an IOPCDataCallback connection.
        if (subscriptions_->Callbacks()->Count() ||
            subscriptions_->Streams()->HasFormat(format->cfFormat))
            return CONNECT_E_ADVISELIMIT;
        HRESULT hr = subscriptions_->Streams()->Add(sink, format->cfFormat, connection);
        if (FAILED(hr))
            return hr;
        if (flags & ADVF_PRIMEFIRST)
            subscriptions_->SendEmptyStream(format->cfFormat, *connection);
        return forced;
    });
}

STDMETHODIMP Group::DUnadvise(DWORD connection) {
    Enter(L"IDataObject::DUnadvise");
    return Guarded([&]() -> HRESULT {
        const HRESULT forced = config_->faults.Forced(L"DUnadvise");
        if (FAILED(forced)) {
            // Refused: the server keeps the sink. Told to, it calls it once more later on.
            if (config_->faults.keepSinkCallAfterMs)
                subscriptions_->Streams()->KeepAndCallLater(connection,
                                                            config_->faults.keepSinkCallAfterMs,
                                                            subscriptions_->LateStreamCall());
            return forced;
        }
        return SUCCEEDED(subscriptions_->Streams()->Remove(connection)) ? S_OK : OLE_E_NOCONNECTION;
    });
}

STDMETHODIMP Group::EnumDAdvise(IEnumSTATDATA** advises) {
    Enter(L"IDataObject::EnumDAdvise");
    if (advises)
        *advises = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

} // namespace opcsim

#include "group.h"

#include "connection_point.h"
#include "stream.h"

#include <opcerror.h>

#include <olectl.h>

#include <vector>

namespace opcsim {
namespace {

FILETIME Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

const wchar_t* FormatName(CLIPFORMAT format) {
    if (format == DataTimeFormat())
        return L"OPCSTMFORMATDATATIME";
    if (format == WriteCompleteFormat())
        return L"OPCSTMFORMATWRITECOMPLETE";
    if (format == DataFormat())
        return L"OPCSTMFORMATDATA";
    return nullptr;
}

} // namespace

Group* Group::Create(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
                     const GroupState& state) {
    return new Group(std::move(stats), std::move(config), state);
}

Group::Group(std::shared_ptr<Stats> stats, std::shared_ptr<const ServerConfig> config,
             const GroupState& state)
    : Tracked(stats, L"Group " + state.name), config_(std::move(config)),
      serverHandle_(state.serverHandle), state_(state) {
    callbacks_ = std::make_shared<SinkList>(IID_IOPCDataCallback, config_->OwnThreads(), stats_,
                                            L"IOPCDataCallback");
    streams_ =
        std::make_shared<SinkList>(IID_IAdviseSink, config_->OwnThreads(), stats_, L"IAdviseSink");
}

Group::~Group() {
    // A client that never withdrew its subscriptions: the group lets its sinks go with itself.
    callbacks_->Clear();
    streams_->Clear();
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
    stats_->Count(L"IOPCGroupStateMgt::GetState");
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
    stats_->Count(L"IOPCGroupStateMgt::SetState");
    if (!revisedRate)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (deadband && (*deadband < 0.0f || *deadband > 100.0f))
        return E_INVALIDARG;
    if (requestedRate)
        state_.updateRate = *requestedRate;
    if (active)
        state_.active = *active;
    if (timeBias)
        state_.timeBias = *timeBias;
    if (deadband)
        state_.deadband = *deadband;
    if (lcid)
        state_.lcid = *lcid;
    if (clientGroup)
        state_.clientHandle = *clientGroup;
    *revisedRate = state_.updateRate;
    return S_OK;
}

STDMETHODIMP Group::SetName(LPCWSTR name) {
    stats_->Count(L"IOPCGroupStateMgt::SetName");
    return Guarded([&]() -> HRESULT {
        if (!name || !*name)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        state_.name = name;
        return S_OK;
    });
}

STDMETHODIMP Group::CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* group) {
    stats_->Count(L"IOPCGroupStateMgt::CloneGroup");
    if (group)
        *group = nullptr;
    return E_NOTIMPL;
}

// ---------------------------------------------------------------- IConnectionPointContainer

STDMETHODIMP Group::EnumConnectionPoints(IEnumConnectionPoints** points) {
    stats_->Count(L"IConnectionPointContainer::EnumConnectionPoints");
    if (points)
        *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Group::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    stats_->Count(L"IConnectionPointContainer::FindConnectionPoint");
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
        ConnectionPoint* created = ConnectionPoint::Create(
            stats_, config_, this, IID_IOPCDataCallback, L"IOPCDataCallback", callbacks_);
        created->QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(point));
        return forced;
    });
}

// ---------------------------------------------------------------- IDataObject

STDMETHODIMP Group::GetData(FORMATETC*, STGMEDIUM*) {
    stats_->Count(L"IDataObject::GetData");
    return E_NOTIMPL;
}

STDMETHODIMP Group::GetDataHere(FORMATETC*, STGMEDIUM*) {
    stats_->Count(L"IDataObject::GetDataHere");
    return E_NOTIMPL;
}

STDMETHODIMP Group::QueryGetData(FORMATETC* format) {
    stats_->Count(L"IDataObject::QueryGetData");
    if (!format)
        return E_POINTER;
    return FormatName(format->cfFormat) && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP Group::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    stats_->Count(L"IDataObject::GetCanonicalFormatEtc");
    if (out)
        out->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Group::SetData(FORMATETC*, STGMEDIUM*, BOOL) {
    stats_->Count(L"IDataObject::SetData");
    return E_NOTIMPL;
}

STDMETHODIMP Group::EnumFormatEtc(DWORD, IEnumFORMATETC** formats) {
    stats_->Count(L"IDataObject::EnumFormatEtc");
    if (formats)
        *formats = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Group::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) {
    stats_->Count(L"IDataObject::DAdvise");
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
        if (!name || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        HRESULT hr = streams_->Add(sink, format->cfFormat, connection);
        if (FAILED(hr))
            return hr;
        if (flags & ADVF_PRIMEFIRST)
            SendStream(format->cfFormat, *connection, 0, nullptr, nullptr, nullptr, nullptr);
        return forced;
    });
}

STDMETHODIMP Group::DUnadvise(DWORD connection) {
    stats_->Count(L"IDataObject::DUnadvise");
    return Guarded([&]() -> HRESULT {
        const HRESULT forced = config_->faults.Forced(L"DUnadvise");
        if (FAILED(forced))
            return forced;
        return SUCCEEDED(streams_->Remove(connection)) ? S_OK : OLE_E_NOCONNECTION;
    });
}

STDMETHODIMP Group::EnumDAdvise(IEnumSTATDATA** advises) {
    stats_->Count(L"IDataObject::EnumDAdvise");
    if (advises)
        *advises = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

// ---------------------------------------------------------------- notifications

void Group::SendStream(CLIPFORMAT format, DWORD onlyCookie, DWORD count, const OPCHANDLE* handles,
                       const VARIANT* values, const WORD* qualities, const HRESULT* errors) {
    OPCHANDLE clientGroup;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clientGroup = state_.clientHandle;
    }
    std::vector<StreamItem> items(count);
    const FILETIME now = Now();
    for (DWORD i = 0; i < count; ++i) {
        items[i].clientHandle = handles[i];
        items[i].value = values ? &values[i] : nullptr;
        items[i].quality = qualities ? qualities[i] : WORD(OPC_QUALITY_GOOD);
        items[i].timestamp = now;
        items[i].error = errors ? errors[i] : S_OK;
    }
    streams_->Deliver(
        [&](IUnknown* sink, const SinkEntry& entry) {
            if (entry.format != format)
                return;
            HGLOBAL memory = format == WriteCompleteFormat()
                                 ? BuildWriteCompleteStream(clientGroup, 0, items)
                                 : BuildDataTimeStream(clientGroup, 0, items);
            if (!memory)
                return;
            FORMATETC fe = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = memory;
            stats_->Count(L"IAdviseSink::OnDataChange (sent)");
            static_cast<IAdviseSink*>(sink)->OnDataChange(&fe, &medium);
            GlobalFree(memory);
        },
        onlyCookie);
}

void Group::SendDataChange(DWORD count, const OPCHANDLE* handles, const VARIANT* values,
                           const WORD* qualities, const HRESULT* errors) {
    OPCHANDLE clientGroup;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clientGroup = state_.clientHandle;
    }
    std::vector<WORD> quality(count, OPC_QUALITY_GOOD);
    std::vector<HRESULT> error(count, S_OK);
    std::vector<FILETIME> stamps(count, Now());
    bool allGood = true, noErrors = true;
    for (DWORD i = 0; i < count; ++i) {
        if (qualities)
            quality[i] = qualities[i];
        if (errors)
            error[i] = errors[i];
        allGood = allGood && (quality[i] & 0xC0) == OPC_QUALITY_GOOD;
        noErrors = noErrors && SUCCEEDED(error[i]);
    }
    callbacks_->Deliver([&](IUnknown* sink, const SinkEntry&) {
        stats_->Count(L"IOPCDataCallback::OnDataChange (sent)");
        static_cast<IOPCDataCallback*>(sink)->OnDataChange(
            0, clientGroup, allGood ? S_OK : S_FALSE, noErrors ? S_OK : S_FALSE, count,
            const_cast<OPCHANDLE*>(handles), const_cast<VARIANT*>(values), quality.data(),
            stamps.data(), error.data());
    });
    SendStream(DataTimeFormat(), 0, count, handles, values, quality.data(), error.data());
}

void Group::SendWriteComplete(DWORD count, const OPCHANDLE* handles, const HRESULT* errors) {
    OPCHANDLE clientGroup;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clientGroup = state_.clientHandle;
    }
    std::vector<HRESULT> error(count, S_OK);
    bool noErrors = true;
    for (DWORD i = 0; i < count; ++i) {
        if (errors)
            error[i] = errors[i];
        noErrors = noErrors && SUCCEEDED(error[i]);
    }
    callbacks_->Deliver([&](IUnknown* sink, const SinkEntry&) {
        stats_->Count(L"IOPCDataCallback::OnWriteComplete (sent)");
        static_cast<IOPCDataCallback*>(sink)->OnWriteComplete(
            0, clientGroup, noErrors ? S_OK : S_FALSE, count, const_cast<OPCHANDLE*>(handles),
            error.data());
    });
    SendStream(WriteCompleteFormat(), 0, count, handles, nullptr, nullptr, error.data());
}

} // namespace opcsim

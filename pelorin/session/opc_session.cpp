#include "session/opc_session.h"

#include <objbase.h>

#include "fw/app.h"
#include "fw/resources.h"
#include "resources/resource.h"
#include "session/ansi_text.h"
#include "session/com_support.h"
#include "session/data_callback_sink.h"
#include "session/node_name.h"
#include "session/opc_error.h"
#include "session/shutdown_sink.h"
#include "session/stream_advise_sink.h"

using Microsoft::WRL::ComPtr;

namespace pelorin {
namespace {

constexpr DWORD kUpdateRateMs = 1000;
constexpr OPCHANDLE kClientGroupHandle = 1324;
constexpr DWORD kSettleMs = 100; // lets a server finish with the group before the dialog goes

// A server answering "success" with no pointer is treated as one that said no.
template <typename T> HRESULT QueryFrom(IUnknown* from, ComPtr<T>& out) {
    out.Reset();
    if (!from)
        return E_POINTER;
    const HRESULT hr =
        from->QueryInterface(__uuidof(T), reinterpret_cast<void**>(out.GetAddressOf()));
    if (FAILED(hr)) {
        out.Reset();
        return hr;
    }
    return out ? S_OK : E_NOINTERFACE;
}

HRESULT FindPoint(IUnknown* object, REFIID iid, ComPtr<IConnectionPoint>& point) {
    point.Reset();
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = QueryFrom(object, container);
    if (FAILED(hr))
        return hr;
    hr = container->FindConnectionPoint(iid, point.GetAddressOf());
    if (FAILED(hr)) {
        point.Reset();
        return hr;
    }
    return point ? S_OK : E_NOINTERFACE;
}

// The resource text with every "%s" replaced by `name` and "%%" by "%".
// The scan goes by characters, so the second byte of a double-byte character is never taken
// for a '%' or an 's'.
std::string FormatWithName(const std::string& format, const std::string& name) {
    std::string text;
    for (const char* at = format.c_str(); *at;) {
        const char* next = NextAnsiChar(at);
        if (*at == '%' && next[0] == 's') {
            text += name;
            next = NextAnsiChar(next);
        } else if (*at == '%' && next[0] == '%') {
            text += '%';
            next = NextAnsiChar(next);
        } else {
            text.append(at, next);
        }
        at = next;
    }
    return text;
}

std::string CreationErrorPrefix(const std::string& serverName) {
    std::wstring format;
    if (!fw::LoadChainString(IDS_CONNECT_ERROR, format))
        format.clear();
    return FormatWithName(WideToAnsi(format.c_str()), serverName) + "CoCreateInstance: ";
}

} // namespace

OpcSession::OpcSession(const StreamFormats& formats)
    : streamSink_(MakeComObject<StreamAdviseSink>(formats.dataTime)),
      callbackSink_(MakeComObject<DataCallbackSink>()),
      shutdownSink_(MakeComObject<ShutdownSink>()), formats_(formats) {
    fw::LockModule();
    moduleLocked_ = true;
    // Servers on other computers call the sinks back without authenticating; a second call in
    // the process fails harmlessly, so the result does not matter.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                         RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
}

OpcSession::~OpcSession() {
    Close();
    ReleaseInterfaces();
}

void OpcSession::SetServer(const std::string& node, const std::string& serverName,
                           const GUID& clsid) {
    nodeName_ = node;
    serverName_ = serverName;
    serverClassId_ = clsid;
}

void OpcSession::SetReporter(std::function<void(const std::string&)> reporter) {
    reporter_ = std::move(reporter);
}

std::string OpcSession::ShutdownReason() const {
    return shutdownSink_ ? shutdownSink_->Reason() : std::string();
}

void OpcSession::ConnectServer() {
    fw::WaitCursor wait;
    if (!streamSink_ || !callbackSink_ || !shutdownSink_)
        return; // closed: the sinks are gone
    try {
        ComPtr<IUnknown> created;
        if (!CreateServerObject(created))
            return;
        if (static_cast<void*>(created.Get()) != static_cast<void*>(server_.Get())) {
            server_.Reset();
            QueryFrom(created.Get(), server_);
        }
        created.Reset();
        if (!server_) {
            ReportText("You may not have registered the OPC Proxy dll!\n");
            return;
        }
        SubscribeShutdown();

        const std::wstring groupName = AnsiToWide(groupName_);
        FLOAT deadband = 0.0f;
        DWORD revisedRate = 0;
        HRESULT hr = server_->AddGroup(
            groupName.c_str(), TRUE, kUpdateRateMs, kClientGroupHandle, nullptr, &deadband, 0,
            &serverGroupHandle_, &revisedRate, IID_IOPCGroupStateMgt,
            reinterpret_cast<IUnknown**>(group_.ReleaseAndGetAddressOf()));
        if (SUCCEEDED(hr) && !group_)
            hr = E_NOINTERFACE; // "success" without a group is no group
        if (FAILED(hr)) {
            group_.Reset();
            ReportOpcError("AddGroup: ", hr);
            return;
        }
        if (SubscribeCallback())
            return;
        SubscribeStreams();
    } catch (...) {
        // Out of memory while building a text: the fields stay as they are at this point.
    }
}

bool OpcSession::CreateServerObject(ComPtr<IUnknown>& created) {
    if (IsLocalNode(nodeName_)) {
        const HRESULT hr =
            CoCreateInstance(serverClassId_, nullptr, kAnyServerContext, IID_IUnknown,
                             reinterpret_cast<void**>(created.GetAddressOf()));
        if (FAILED(hr) || !created) {
            created.Reset();
            ReportOpcError(CreationErrorPrefix(serverName_), hr);
            return false;
        }
        return true;
    }
    std::wstring node = AnsiToWide(nodeName_);
    COSERVERINFO info = {};
    info.pwszName = &node[0];
    MULTI_QI query = {};
    query.pIID = &IID_IOPCServer;
    const HRESULT hr =
        CoCreateInstanceEx(serverClassId_, nullptr, CLSCTX_REMOTE_SERVER, &info, 1, &query);
    ComPtr<IUnknown> result;
    result.Attach(query.pItf); // owned from here, whatever the results say
    if (FAILED(hr)) {
        ReportOpcError(CreationErrorPrefix(serverName_), hr);
        return false;
    }
    if (FAILED(query.hr) || !result) {
        ReportOpcError("MultiQI: ", FAILED(query.hr) ? query.hr : E_NOINTERFACE);
        return false;
    }
    created = std::move(result);
    return true;
}

void OpcSession::SubscribeShutdown() {
    ComPtr<IConnectionPoint> point;
    if (FAILED(FindPoint(server_.Get(), IID_IOPCShutdown, point)))
        return;
    DWORD cookie = 0;
    if (SUCCEEDED(point->Advise(static_cast<IOPCShutdown*>(shutdownSink_.Get()), &cookie)))
        shutdownConnection_ = cookie;
}

bool OpcSession::SubscribeCallback() {
    ComPtr<IConnectionPoint> point;
    if (FAILED(FindPoint(group_.Get(), IID_IOPCDataCallback, point)))
        return false;
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IOPCDataCallback*>(callbackSink_.Get()), &cookie)))
        return false;
    dataConnection_ = cookie;
    callbackMode_ = TRUE;
    return true;
}

void OpcSession::SubscribeStreams() {
    ComPtr<IAdviseSink> sink;
    const HRESULT sinkResult = QueryFrom(static_cast<IAdviseSink*>(streamSink_.Get()), sink);
    if (FAILED(sinkResult)) {
        ReportOpcError("IAdviseSink: ", sinkResult);
        WithdrawAndRemoveGroup();
        group_.Reset();
        server_.Reset();
        return;
    }
    ComPtr<IDataObject> data;
    if (FAILED(QueryFrom(group_.Get(), data))) {
        ReportText("IDataObject not supported by this server\nNo data notifications will take "
                   "place");
        return;
    }
    FORMATETC format = {};
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    format.cfFormat = static_cast<CLIPFORMAT>(formats_.writeComplete);
    DWORD cookie = 0;
    HRESULT hr = data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &cookie);
    if (FAILED(hr)) {
        ReportOpcError("IDataObject::DAdvise: ", hr);
        return;
    }
    writeCompleteConnection_ = cookie;
    format.cfFormat = static_cast<CLIPFORMAT>(formats_.dataTime);
    cookie = 0;
    hr = data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &cookie);
    if (FAILED(hr)) {
        ReportOpcError("IDataObject::DAdvise: ", hr);
        return;
    }
    dataConnection_ = cookie;
}

void OpcSession::DisconnectServer() {
    fw::WaitCursor wait;
    WithdrawAndRemoveGroup();
    group_.Reset();
    server_.Reset();
    Sleep(kSettleMs);
}

// Every result is ignored here: a server that is gone or refuses cannot be helped, and the
// references are dropped all the same.
void OpcSession::WithdrawAndRemoveGroup() {
    if (!server_)
        return;
    // The shutdown subscription is the server's hold on our sink; it goes even when there is
    // no group, or the server would keep the sink (and us) alive.
    if (shutdownConnection_ != 0) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(FindPoint(server_.Get(), IID_IOPCShutdown, point)))
            point->Unadvise(shutdownConnection_);
    }
    if (!group_)
        return;
    if (callbackMode_) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(FindPoint(group_.Get(), IID_IOPCDataCallback, point)))
            point->Unadvise(dataConnection_);
    } else {
        ComPtr<IDataObject> data;
        if (SUCCEEDED(QueryFrom(group_.Get(), data))) {
            if (dataConnection_ != 0)
                data->DUnadvise(dataConnection_);
            if (writeCompleteConnection_ != 0)
                data->DUnadvise(writeCompleteConnection_);
        }
    }
    server_->RemoveGroup(serverGroupHandle_, FALSE);
}

std::string OpcSession::FormatOpcError(const std::string& prefix, HRESULT error) const {
    return ::pelorin::FormatOpcError(server_.Get(), prefix, error);
}

void OpcSession::ReportOpcError(const std::string& prefix, HRESULT error) {
    ReportText(FormatOpcError(prefix, error));
}

void OpcSession::ReportText(const std::string& text) {
    if (reporter_) {
        reporter_(text);
        return;
    }
    const std::wstring wide = AnsiToWide(text);
    fw::ShowMessageW(owner_, wide.c_str(), MB_OK);
}

void OpcSession::Close() {
    if (moduleLocked_) {
        fw::UnlockModule();
        moduleLocked_ = false;
    }
    if (server_)
        DisconnectServer();
    streamSink_.Reset();
    callbackSink_.Reset();
    shutdownSink_.Reset();
}

void OpcSession::ReleaseInterfaces() {
    group_.Reset();
    server_.Reset();
}

} // namespace pelorin

// What the conformance tests share: the support for simulated servers of tests/support, and
// client sinks that record what they receive.
#pragma once

#include "opcda.h"
#include "opcsimctl.h"

#include <ole2.h>
#include <olectl.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "counted_object.h"
#include "pump.h"
#include "sim_server.h"

namespace opctest {

using Microsoft::WRL::ComPtr;

// The shared support for simulated servers, under the names these tests use.
using simtest::Browse;
using simtest::CallsOf;
using simtest::CreateServer;
using simtest::Outstanding;
using simtest::OutstandingOf;
using simtest::PumpFor;
using simtest::PumpUntil;
using simtest::ReadAll;
using simtest::ReportOf;
using simtest::StatsOf;
using simtest::TaskMemFree;
using simtest::TaskString;

// A sink that counts its references, like every object of ours.
template <class Interface> using RecordingSink = simtest::CountedObject<Interface>;

// The sink starts with the one reference the returned pointer holds.
template <class Sink> ComPtr<Sink> MakeSink() {
    return simtest::MakeObject<Sink>();
}

class ShutdownSink final : public RecordingSink<IOPCShutdown> {
public:
    STDMETHODIMP ShutdownRequest(LPCWSTR reason) override;
    int calls = 0;
    std::wstring reason;
    DWORD thread = 0;
};

struct ReceivedValue {
    OPCHANDLE handle = 0;
    VARIANT value;
    WORD quality = 0;
    HRESULT error = S_OK;
};

class CallbackSink final : public RecordingSink<IOPCDataCallback> {
public:
    ~CallbackSink() override;
    STDMETHODIMP OnDataChange(DWORD transaction, OPCHANDLE group, HRESULT masterQuality,
                              HRESULT masterError, DWORD count, OPCHANDLE* handles, VARIANT* values,
                              WORD* qualities, FILETIME* times, HRESULT* errors) override;
    STDMETHODIMP OnReadComplete(DWORD transaction, OPCHANDLE group, HRESULT masterQuality,
                                HRESULT masterError, DWORD count, OPCHANDLE* handles,
                                VARIANT* values, WORD* qualities, FILETIME* times,
                                HRESULT* errors) override;
    STDMETHODIMP OnWriteComplete(DWORD transaction, OPCHANDLE group, HRESULT masterError,
                                 DWORD count, OPCHANDLE* handles, HRESULT* errors) override;
    STDMETHODIMP OnCancelComplete(DWORD transaction, OPCHANDLE group) override;

    int dataChanges = 0;
    int writeCompletes = 0;
    std::vector<DWORD> counts;  // items of each data change, in order
    int foreignThreadCalls = 0; // calls that did not come on the thread that made the sink
    OPCHANDLE lastGroup = 0;
    std::vector<ReceivedValue> values; // of the last data change
    std::vector<HRESULT> writeErrors;  // of the last write completion
    DWORD thread = 0;
    const DWORD home = GetCurrentThreadId();
};

class StreamSink final : public RecordingSink<IAdviseSink> {
public:
    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}

    struct Stream {
        CLIPFORMAT format = 0;
        std::vector<BYTE> bytes;
    };
    std::vector<Stream> received;
};

CLIPFORMAT Format(const char* name);

} // namespace opctest

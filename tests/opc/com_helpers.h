// What the conformance tests share: creating simulated servers by ProgID, reading their
// counters, reading enumerations, and client sinks that record what they receive.
#pragma once

#include "opcda.h"
#include "opcsimctl.h"

#include <ole2.h>
#include <olectl.h>
#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace opctest {

using Microsoft::WRL::ComPtr;

struct TaskMemFree {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};
using TaskString = std::unique_ptr<wchar_t, TaskMemFree>;

// CoCreateInstance(clsid of progId, 0x17, riid). A local server that was just quitting when
// we reached it is reached again once.
HRESULT CreateServer(const std::wstring& progId, REFIID riid, void** object);

struct Outstanding {
    long objects = -1, references = -1, sinks = -1;
};
ComPtr<IOpcSimStats> StatsOf(IUnknown* server);
Outstanding OutstandingOf(IOpcSimStats* stats);
long CallsOf(IOpcSimStats* stats, const wchar_t* method);
std::wstring ReportOf(IOpcSimStats* stats);

// Every name of an enumeration, fetched batch by batch; batchSizes gets what each Next gave.
std::vector<std::wstring> ReadAll(IEnumString* names, ULONG batch,
                                  std::vector<ULONG>* batchSizes = nullptr);
std::vector<std::wstring> Browse(IOPCBrowseServerAddressSpace* browse, OPCBROWSETYPE type,
                                 const wchar_t* filter = L"*", HRESULT* result = nullptr);

// Dispatches this thread's messages until the condition holds or the time is up.
bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds = 5000);

// A sink that counts its references, like every object of ours.
template <class Interface> class RecordingSink : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }
    LONG References() const { return references_; }
    virtual ~RecordingSink() = default;

protected:
    LONG references_ = 1; // the creator's
};

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

// The sink starts with the one reference the returned pointer holds.
template <class Sink> ComPtr<Sink> MakeSink() {
    Sink* created = new Sink();
    ComPtr<Sink> sink(created); // takes a reference of its own (mingw's Attach would too)
    created->Release();
    return sink;
}

CLIPFORMAT Format(const char* name);

} // namespace opctest

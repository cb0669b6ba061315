#include "subscriptions.h"

#include "module.h"
#include "stream.h"

#include <opcerror.h>

#include <vector>

namespace opcsim {
namespace {

FILETIME Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

// The arrays of one callback. They never are null pointers, not even for no items: the
// marshaller refuses a null array however short it is.
struct CallbackItems {
    explicit CallbackItems(DWORD count)
        : handles(count ? count : 1, 0), values(count ? count : 1),
          qualities(count ? count : 1, WORD(OPC_QUALITY_GOOD)), times(count ? count : 1, Now()),
          errors(count ? count : 1, S_OK) {
        for (VARIANT& value : values)
            VariantInit(&value);
    }
    std::vector<OPCHANDLE> handles;
    std::vector<VARIANT> values; // shallow copies of the caller's, never cleared here
    std::vector<WORD> qualities;
    std::vector<FILETIME> times;
    std::vector<HRESULT> errors;
};

} // namespace

Subscriptions::Subscriptions(bool ownThreads, std::shared_ptr<Stats> stats, OPCHANDLE clientGroup,
                             bool active)
    : stats_(stats), callbacks_(std::make_shared<SinkList>(IID_IOPCDataCallback, ownThreads, stats,
                                                           L"IOPCDataCallback", 1)),
      streams_(std::make_shared<SinkList>(IID_IAdviseSink, ownThreads, stats, L"IAdviseSink")),
      ownThreads_(ownThreads), clientGroup_(clientGroup), active_(active) {}

void Subscriptions::Clear() {
    callbacks_->Clear();
    streams_->Clear();
}

void Subscriptions::SendStream(CLIPFORMAT format, DWORD onlyCookie, DWORD count,
                               const OPCHANDLE* handles, const VARIANT* values,
                               const WORD* qualities, const HRESULT* errors) {
    std::vector<StreamItem> items(count);
    const FILETIME now = Now();
    for (DWORD i = 0; i < count; ++i) {
        items[i].clientHandle = handles[i];
        items[i].value = values ? &values[i] : nullptr;
        items[i].quality = qualities ? qualities[i] : WORD(OPC_QUALITY_GOOD);
        items[i].timestamp = now;
        items[i].error = errors ? errors[i] : S_OK;
    }
    const OPCHANDLE clientGroup = clientGroup_;
    std::shared_ptr<Stats> stats = stats_;
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
            stats->Count(L"IAdviseSink::OnDataChange (sent)");
            static_cast<IAdviseSink*>(sink)->OnDataChange(&fe, &medium);
            GlobalFree(memory);
        },
        onlyCookie);
}

void Subscriptions::SendEmptyStream(CLIPFORMAT format, DWORD cookie) {
    SendStream(format, cookie, 0, nullptr, nullptr, nullptr, nullptr);
}

void Subscriptions::SendDataChange(DWORD count, const OPCHANDLE* handles, const VARIANT* values,
                                   const WORD* qualities, const HRESULT* errors) {
    CallbackItems items(count);
    bool allGood = true, noErrors = true;
    for (DWORD i = 0; i < count; ++i) {
        items.handles[i] = handles[i];
        if (values)
            items.values[i] = values[i];
        if (qualities)
            items.qualities[i] = qualities[i];
        if (errors)
            items.errors[i] = errors[i];
        allGood = allGood && (items.qualities[i] & 0xC0) == OPC_QUALITY_GOOD;
        noErrors = noErrors && SUCCEEDED(items.errors[i]);
    }
    const OPCHANDLE clientGroup = clientGroup_;
    callbacks_->Deliver([&](IUnknown* sink, const SinkEntry&) {
        stats_->Count(L"IOPCDataCallback::OnDataChange (sent)");
        const HRESULT hr = static_cast<IOPCDataCallback*>(sink)->OnDataChange(
            0, clientGroup, allGood ? S_OK : S_FALSE, noErrors ? S_OK : S_FALSE, count,
            items.handles.data(), items.values.data(), items.qualities.data(), items.times.data(),
            items.errors.data());
        if (SUCCEEDED(hr))
            stats_->Count(L"IOPCDataCallback::OnDataChange (delivered)");
    });
    SendStream(DataTimeFormat(), 0, count, handles, values, items.qualities.data(),
               items.errors.data());
}

void Subscriptions::SendWriteComplete(DWORD count, const OPCHANDLE* handles,
                                      const HRESULT* errors) {
    CallbackItems items(count);
    bool noErrors = true;
    for (DWORD i = 0; i < count; ++i) {
        items.handles[i] = handles[i];
        if (errors)
            items.errors[i] = errors[i];
        noErrors = noErrors && SUCCEEDED(items.errors[i]);
    }
    const OPCHANDLE clientGroup = clientGroup_;
    callbacks_->Deliver([&](IUnknown* sink, const SinkEntry&) {
        stats_->Count(L"IOPCDataCallback::OnWriteComplete (sent)");
        static_cast<IOPCDataCallback*>(sink)->OnWriteComplete(
            0, clientGroup, noErrors ? S_OK : S_FALSE, count, items.handles.data(),
            items.errors.data());
    });
    SendStream(WriteCompleteFormat(), 0, count, handles, nullptr, nullptr, items.errors.data());
}

void Subscriptions::SendMalformed(OPCHANDLE handle) {
    const OPCHANDLE clientGroup = clientGroup_;
    const CLIPFORMAT format = DataTimeFormat();
    streams_->Deliver([&](IUnknown* sink, const SinkEntry& entry) {
        if (entry.format != format)
            return;
        std::vector<HGLOBAL> blocks = BuildMalformedDataTimeStreams(clientGroup, handle);
        blocks.push_back(nullptr); // a medium that says global memory and has none
        for (HGLOBAL memory : blocks) {
            FORMATETC fe = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = memory;
            stats_->Count(L"IAdviseSink::OnDataChange (malformed)");
            static_cast<IAdviseSink*>(sink)->OnDataChange(&fe, &medium);
            if (memory)
                GlobalFree(memory);
        }
    });

    constexpr DWORD kNoSuchTransaction = 0x7777;
    constexpr OPCHANDLE kNoSuchGroup = 0xBAD00BAD;
    const bool unmarshaled = !ownThreads_ && !OwnProcess();
    CallbackItems two(2);
    two.handles = {handle, 0};
    two.errors = {E_FAIL, S_OK};
    V_VT(&two.values[1]) = VT_I4;
    V_I4(&two.values[1]) = 7;
    callbacks_->Deliver([&](IUnknown* sink, const SinkEntry&) {
        auto* callback = static_cast<IOPCDataCallback*>(sink);
        if (unmarshaled) {
            stats_->Count(L"IOPCDataCallback::OnDataChange (mismatched)");
            callback->OnDataChange(0, clientGroup, S_OK, S_OK, 3, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
        }
        stats_->Count(L"IOPCDataCallback::OnDataChange (mismatched)");
        callback->OnDataChange(0, kNoSuchGroup, S_FALSE, S_FALSE, 2, two.handles.data(),
                               two.values.data(), two.qualities.data(), two.times.data(),
                               two.errors.data());
        stats_->Count(L"IOPCDataCallback::OnReadComplete (mismatched)");
        callback->OnReadComplete(kNoSuchTransaction, clientGroup, S_OK, S_OK, 2, two.handles.data(),
                                 two.values.data(), two.qualities.data(), two.times.data(),
                                 two.errors.data());
        stats_->Count(L"IOPCDataCallback::OnWriteComplete (mismatched)");
        callback->OnWriteComplete(kNoSuchTransaction, clientGroup, S_FALSE, 2, two.handles.data(),
                                  two.errors.data());
        stats_->Count(L"IOPCDataCallback::OnCancelComplete (mismatched)");
        callback->OnCancelComplete(kNoSuchTransaction, clientGroup);
    });
}

SinkList::Call Subscriptions::LateCallbackCall() const {
    std::shared_ptr<Stats> stats = stats_;
    const OPCHANDLE clientGroup = clientGroup_;
    return [stats, clientGroup](IUnknown* sink, const SinkEntry&) {
        CallbackItems none(0);
        stats->Count(L"IOPCDataCallback::OnDataChange (late)");
        static_cast<IOPCDataCallback*>(sink)->OnDataChange(
            0, clientGroup, S_OK, S_OK, 0, none.handles.data(), none.values.data(),
            none.qualities.data(), none.times.data(), none.errors.data());
    };
}

SinkList::Call Subscriptions::LateStreamCall() const {
    std::shared_ptr<Stats> stats = stats_;
    const OPCHANDLE clientGroup = clientGroup_;
    return [stats, clientGroup](IUnknown* sink, const SinkEntry& entry) {
        const std::vector<StreamItem> none;
        HGLOBAL memory = entry.format == WriteCompleteFormat()
                             ? BuildWriteCompleteStream(clientGroup, 0, none)
                             : BuildDataTimeStream(clientGroup, 0, none);
        if (!memory)
            return;
        FORMATETC fe = {entry.format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = memory;
        stats->Count(L"IAdviseSink::OnDataChange (late)");
        static_cast<IAdviseSink*>(sink)->OnDataChange(&fe, &medium);
        GlobalFree(memory);
    };
}

} // namespace opcsim

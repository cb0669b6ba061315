// Servers that call their clients back from inside one of their own calls, before they answer:
// a shutdown request, a data change of items the client never added, and notifications that
// break the rules. The client meets them while it waits in that call, in process and across
// processes alike.
#include "com_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace opctest {
namespace {

// Records the shape of every call, trusting no array: a server may send a count without them.
class ShapeSink final : public RecordingSink<IOPCDataCallback> {
public:
    struct Call {
        std::string method;
        OPCHANDLE group = 0;
        DWORD transaction = 0;
        DWORD count = 0;
        bool arrays = false;
        std::vector<OPCHANDLE> handles;
    };

    STDMETHODIMP OnDataChange(DWORD transaction, OPCHANDLE group, HRESULT, HRESULT, DWORD count,
                              OPCHANDLE* handles, VARIANT* values, WORD* qualities, FILETIME* times,
                              HRESULT* errors) override {
        Record("OnDataChange", transaction, group, count, handles,
               handles && values && qualities && times && errors);
        return S_OK;
    }
    STDMETHODIMP OnReadComplete(DWORD transaction, OPCHANDLE group, HRESULT, HRESULT, DWORD count,
                                OPCHANDLE* handles, VARIANT* values, WORD* qualities,
                                FILETIME* times, HRESULT* errors) override {
        Record("OnReadComplete", transaction, group, count, handles,
               handles && values && qualities && times && errors);
        return S_OK;
    }
    STDMETHODIMP OnWriteComplete(DWORD transaction, OPCHANDLE group, HRESULT, DWORD count,
                                 OPCHANDLE* handles, HRESULT* errors) override {
        Record("OnWriteComplete", transaction, group, count, handles, handles && errors);
        return S_OK;
    }
    STDMETHODIMP OnCancelComplete(DWORD transaction, OPCHANDLE group) override {
        Record("OnCancelComplete", transaction, group, 0, nullptr, false);
        return S_OK;
    }

    std::vector<Call> calls;

private:
    void Record(const char* method, DWORD transaction, OPCHANDLE group, DWORD count,
                const OPCHANDLE* handles, bool arrays) {
        Call call{method, group, transaction, count, arrays, {}};
        if (arrays)
            call.handles.assign(handles, handles + count);
        calls.push_back(call);
    }
};

struct Subscribed {
    ComPtr<IOPCServer> server;
    ComPtr<IOpcSimStats> stats;
    ComPtr<ShutdownSink> shutdown;
    ComPtr<ShapeSink> callback;
    ComPtr<StreamSink> stream;
    std::vector<OPCHANDLE> groups;
    std::vector<ComPtr<IUnknown>> held;
};

// One group with a callback connection, another with a stream subscription, and the
// shutdown connection.
void Subscribe(const wchar_t* progId, Subscribed& s) {
    ASSERT_EQ(S_OK, CreateServer(progId, IID_PPV_ARGS(&s.server)));
    s.stats = StatsOf(s.server.Get());
    s.shutdown = MakeSink<ShutdownSink>();
    s.callback = MakeSink<ShapeSink>();
    s.stream = MakeSink<StreamSink>();
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, s.server.As(&points));
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCShutdown, &point));
    ASSERT_EQ(S_OK, point->Advise(s.shutdown.Get(), &cookie));
    for (const wchar_t* name : {L"Callbacks", L"Streams"}) {
        ComPtr<IUnknown> group;
        OPCHANDLE handle = 0;
        DWORD revised = 0;
        ASSERT_EQ(S_OK, s.server->AddGroup(name, TRUE, 1000, 1324, nullptr, nullptr, 0, &handle,
                                           &revised, IID_IOPCGroupStateMgt, &group));
        s.groups.push_back(handle);
        s.held.push_back(group);
    }
    ComPtr<IConnectionPointContainer> groupPoints;
    ASSERT_EQ(S_OK, s.held[0].As(&groupPoints));
    ASSERT_EQ(S_OK, groupPoints->FindConnectionPoint(IID_IOPCDataCallback, &point));
    ASSERT_EQ(S_OK, point->Advise(s.callback.Get(), &cookie));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, s.held[1].As(&data));
    FORMATETC format = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ASSERT_EQ(S_OK, data->DAdvise(&format, 0, s.stream.Get(), &cookie));
}

// The server lets every sink go with its groups and itself.
void Release(Subscribed& s) {
    for (OPCHANDLE handle : s.groups)
        s.server->RemoveGroup(handle, FALSE);
    s.held.clear();
    s.server.Reset();
    EXPECT_TRUE(PumpUntil([&] { return OutstandingOf(s.stats.Get()).objects == 0; }))
        << ReportOf(s.stats.Get());
    EXPECT_EQ(0, OutstandingOf(s.stats.Get()).sinks);
}

DWORD Dword(const std::vector<BYTE>& bytes, size_t offset) {
    DWORD value = 0;
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

class DuringTest : public testing::TestWithParam<const wchar_t*> {};

TEST_P(DuringTest, AShutdownRequestAndADataChangeArriveBeforeTheCallReturns) {
    Subscribed s;
    ASSERT_NO_FATAL_FAILURE(Subscribe(GetParam(), s));
    for (int call = 1; call <= 2; ++call) {
        OPCSERVERSTATUS* status = nullptr;
        ASSERT_EQ(S_OK, s.server->GetStatus(&status));
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
        // Nothing pumped since: whatever arrived came while the client waited in the call.
        EXPECT_EQ(call, s.shutdown->calls);
        EXPECT_EQ(L"Inside the call.", s.shutdown->reason);
        ASSERT_EQ(static_cast<size_t>(call), s.callback->calls.size());
        EXPECT_EQ((std::vector<OPCHANDLE>{0xF0E00001}), s.callback->calls.back().handles);
        ASSERT_EQ(static_cast<size_t>(call), s.stream->received.size());
        EXPECT_EQ(1u, Dword(s.stream->received.back().bytes, 4)) << "one item in the stream";
    }
    EXPECT_EQ(2, CallsOf(s.stats.Get(), L"IOPCShutdown::ShutdownRequest (sent)"));
    EXPECT_EQ(2, CallsOf(s.stats.Get(), L"IOPCDataCallback::OnDataChange (delivered)"));
    Release(s);
}

TEST_P(DuringTest, MalformedNotificationsComeInsideTheChosenCallOnly) {
    Subscribed s;
    ASSERT_NO_FATAL_FAILURE(Subscribe(GetParam(), s));
    ComPtr<IOPCCommon> common;
    ASSERT_EQ(S_OK, s.server.As(&common));
    LCID locale = 0;
    ASSERT_EQ(S_OK, common->GetLocaleID(&locale));
    EXPECT_TRUE(s.stream->received.empty()) << "the first call sends nothing";
    ASSERT_EQ(S_OK, common->GetLocaleID(&locale));
    ASSERT_EQ(S_OK, common->GetLocaleID(&locale));

    // Eight broken blocks, as built, then a medium without memory.
    const auto& streams = s.stream->received;
    ASSERT_EQ(9u, streams.size());
    EXPECT_EQ(0x0FFFFFFFu, Dword(streams[0].bytes, 4));
    EXPECT_EQ(0xCCCCCCCDu, Dword(streams[1].bytes, 4));
    EXPECT_GT(Dword(streams[2].bytes, 24), streams[2].bytes.size()) << "value past the end";
    EXPECT_LT(streams[7].bytes.size(), 20u) << "shorter than the group header";
    EXPECT_TRUE(streams[8].bytes.empty());
    EXPECT_EQ(9, CallsOf(s.stats.Get(), L"IAdviseSink::OnDataChange (malformed)"));

    // A count without arrays reaches only a sink called without a marshaller.
    const bool direct = std::wstring(GetParam()) == L"OpcSim.Test.During";
    const auto& calls = s.callback->calls;
    ASSERT_EQ(direct ? 5u : 4u, calls.size());
    size_t at = 0;
    if (direct) {
        EXPECT_EQ("OnDataChange", calls[0].method);
        EXPECT_EQ(3u, calls[0].count);
        EXPECT_FALSE(calls[0].arrays);
        at = 1;
    }
    EXPECT_EQ("OnDataChange", calls[at].method);
    EXPECT_EQ(0xBAD00BADu, calls[at].group) << "a group the client never made";
    EXPECT_EQ("OnReadComplete", calls[at + 1].method);
    EXPECT_EQ(0x7777u, calls[at + 1].transaction) << "a read the client never started";
    EXPECT_EQ((std::vector<OPCHANDLE>{0xF0E00001, 0}), calls[at + 1].handles);
    EXPECT_EQ("OnWriteComplete", calls[at + 2].method);
    EXPECT_EQ("OnCancelComplete", calls[at + 3].method);
    EXPECT_EQ(direct ? 2 : 1,
              CallsOf(s.stats.Get(), L"IOPCDataCallback::OnDataChange (mismatched)"));
    common.Reset();
    Release(s);
}

// The server leaves after answering the call: the answer arrives, the client's sinks are let
// go, and the next call meets a server that is gone.
TEST(DuringDisconnectTest, ComesOnceTheCallIsAnswered) {
    Subscribed s;
    ASSERT_NO_FATAL_FAILURE(Subscribe(L"OpcSim.Test.During.Leaving", s));
    for (int call = 1; call <= 2; ++call) {
        OPCSERVERSTATUS* status = nullptr;
        ASSERT_EQ(S_OK, s.server->GetStatus(&status)) << call;
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
    }
    EXPECT_EQ(L"Leaving now.", s.shutdown->reason);
    ASSERT_TRUE(PumpUntil([&] { return OutstandingOf(s.stats.Get()).sinks == 0; }))
        << ReportOf(s.stats.Get());
    EXPECT_EQ(1, CallsOf(s.stats.Get(), L"CoDisconnectObject"));
    OPCSERVERSTATUS* status = nullptr;
    EXPECT_TRUE(FAILED(s.server->GetStatus(&status)));
    EXPECT_EQ(nullptr, status);
    s.held.clear();
    s.server.Reset();
    EXPECT_EQ(0, OutstandingOf(s.stats.Get()).objects) << ReportOf(s.stats.Get());
}

std::string ThreadingName(const testing::TestParamInfo<const wchar_t*>& info) {
    const char* const names[] = {"Apartment", "Free", "LocalServer"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Simulated, DuringTest,
                         testing::Values(L"OpcSim.Test.During", L"OpcSim.Test.During.Free",
                                         L"OpcSim.Test.During.Local"),
                         ThreadingName);

} // namespace
} // namespace opctest

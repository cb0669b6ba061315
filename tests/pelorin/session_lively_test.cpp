// The session against servers as strict and as lively as a plant's: its one callback
// connection, which no second Advise shares and which the DA 1.0 streams do not double;
// notifications the server sends on its own while the session subscribes and tears down,
// again and again, with items the session never added; and a sink the server keeps past a
// failed withdrawal and calls once more after the session is gone.
#include "session_sim.h"

#include <olectl.h>

#include <cstdio>

#include "fw/app.h"
#include "session/item_value_record.h"

namespace {

using Microsoft::WRL::ComPtr;

// A lively server's ticks (every 5 ms, keep-alives and two items the session never added)
// from a thread of its own, through the marshalled sink.
const std::string kLively =
    R"("threading": "Free", "rates": [5],
       "space": [{"item": "Heartbeat", "type": "I4"}, {"item": "Text", "type": "BSTR"}],
       "notify": {"items": ["Heartbeat", "Text"], "every": 2})";

class RecordingCallback final : public IOPCDataCallback {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IOPCDataCallback)
            return E_NOINTERFACE;
        *object = static_cast<IOPCDataCallback*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; } // lives on the stack
    STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*,
                              WORD*, FILETIME*, HRESULT*) override {
        return S_OK;
    }
    STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*,
                                WORD*, FILETIME*, HRESULT*) override {
        return S_OK;
    }
    STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override {
        return S_OK;
    }
    STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
    ULONG references = 1;
};

// The session's callback connection is the group's only one: another client's Advise is
// refused, and the session never falls back to the DA 1.0 streams beside it. Its sink goes on
// taking changes.
TEST_F(SessionTest, TheCallbackConnectionIsTheGroupsOnlyOneAndNoStreamsAreAdded) {
    Serve();
    Connect();
    ASSERT_TRUE(session_->CallbackMode());
    EXPECT_TRUE(messages_.empty());
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, session_->Group()->QueryInterface(IID_PPV_ARGS(&points)));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCDataCallback, &point));
    RecordingCallback other;
    DWORD cookie = 7;
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, point->Advise(&other, &cookie));
    EXPECT_EQ(0u, cookie);
    EXPECT_EQ(1u, other.references);
    EXPECT_EQ(0, CallsOf(stats_.Get(), L"IDataObject::DAdvise"));

    pelorin::ItemValueRecord record;
    OPCHANDLE handle = record.Handle();
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = 42;
    ASSERT_EQ(S_OK,
              ControlOf(session_->Server())->SendDataChange(1, &handle, &value, nullptr, nullptr));
    EXPECT_EQ(VT_I4, V_VT(&record.Value()));
    EXPECT_EQ(42, V_I4(&record.Value()));
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IOPCDataCallback::OnDataChange (delivered)"));
    point.Reset();
    points.Reset();
    CloseAndExpectNothingOutstanding();
}

// A server whose callback connection is taken answers CONNECT_E_ADVISELIMIT: then the streams
// are the way, quietly, and both are subscribed.
TEST_F(SessionTest, ACallbackConnectionRefusedForItsLimitFallsBackToStreams) {
    Serve(R"("faults": {"results": {"Advise:IOPCDataCallback": "CONNECT_E_ADVISELIMIT"}})");
    Connect();
    EXPECT_TRUE(messages_.empty());
    EXPECT_FALSE(session_->CallbackMode());
    EXPECT_NE(0u, session_->DataConnection());
    EXPECT_NE(0u, session_->WriteCompleteConnection());
    EXPECT_EQ(2, CallsOf(stats_.Get(), L"IDataObject::DAdvise"));
    CloseAndExpectNothingOutstanding();
}

// A revised update rate is a success: the group is there and subscribed.
TEST_F(SessionTest, ARevisedUpdateRateIsAccepted) {
    Serve(R"("rates": [2500])");
    Connect();
    EXPECT_TRUE(messages_.empty());
    ASSERT_NE(nullptr, session_->Group());
    EXPECT_TRUE(session_->CallbackMode());
    CloseAndExpectNothingOutstanding();
}

struct Lively {
    const char* name;
    std::string activation;
};

class LivelySessionTest : public SessionTest, public testing::WithParamInterface<Lively> {};

// The server notifies every 5 ms from its own thread; the session's teardown is slowed at the
// withdrawal of the callback connection, so that notifications certainly come while it tears
// down. Repeated, sessions after sessions: every one releases everything, and the count shows
// that the race window was really hit.
TEST_P(LivelySessionTest, NotificationsDuringTeardownAreTakenAndNothingIsLeft) {
    Serve(kLively + R"(, "faults": {"delays": {"IConnectionPoint::Unadvise": 30}})",
          GetParam().activation);
    const long locks = fw::ModuleLockCount();
    constexpr int kSessions = 12;
    long duringTeardown = 0;
    for (int run = 0; run < kSessions; ++run) {
        SCOPED_TRACE(run);
        if (run > 0)
            NewSession();
        Connect();
        ASSERT_TRUE(stats_);
        ASSERT_TRUE(session_->CallbackMode());
        ASSERT_TRUE(PumpUntil([&] {
            return CallsOf(stats_.Get(), L"IOPCDataCallback::OnDataChange (delivered)") > 0;
        }));
        const long before = CallsOf(stats_.Get(), L"IOPCDataCallback::OnDataChange (delivered)");
        session_.reset();
        duringTeardown +=
            CallsOf(stats_.Get(), L"IOPCDataCallback::OnDataChange (delivered)") - before;
        ASSERT_TRUE(PumpUntil([&] { return simtest::OutstandingOf(stats_.Get()).None(); }))
            << "the server still holds something of session " << run;
        stats_.Reset();
    }
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(locks - 1, fw::ModuleLockCount()) << "every session gave its lock back";
    // Each teardown waited 30 ms in one Unadvise while ticks came every 5 ms.
    EXPECT_GE(duringTeardown, kSessions) << "notifications delivered while tearing down";
    std::printf("%s: %ld notifications delivered during %d teardowns\n", GetParam().name,
                duringTeardown, kSessions);
}

// Stream mode: the same ticks as DA 1.0 streams with items of handles never given out; the
// session's parser takes them (and leaves every record alone) while it subscribes and leaves.
TEST_P(LivelySessionTest, StreamsOfItemsNeverAddedChangeNoRecord) {
    Serve(kLively + R"(, "faults": {"missing": ["IOPCDataCallback"],
                                    "delays": {"IDataObject::DUnadvise": 30}})",
          GetParam().activation);
    pelorin::ItemValueRecord record;
    Connect();
    ASSERT_FALSE(session_->CallbackMode());
    ASSERT_NE(0u, session_->DataConnection());
    ASSERT_TRUE(
        PumpUntil([&] { return CallsOf(stats_.Get(), L"IAdviseSink::OnDataChange (sent)") > 6; }));
    const long before = CallsOf(stats_.Get(), L"IAdviseSink::OnDataChange (sent)");
    session_.reset();
    EXPECT_GT(CallsOf(stats_.Get(), L"IAdviseSink::OnDataChange (sent)"), before)
        << "streams came while tearing down";
    EXPECT_EQ(VT_EMPTY, V_VT(&record.Value()));
    EXPECT_EQ(0, record.Quality());
    ASSERT_TRUE(PumpUntil([&] { return simtest::OutstandingOf(stats_.Get()).None(); }));
    EXPECT_TRUE(messages_.empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, LivelySessionTest,
                         testing::Values(Lively{"InProcessFree", "inproc"},
                                         Lively{"LocalServer", "local"}),
                         [](const testing::TestParamInfo<Lively>& info) {
                             return info.param.name;
                         });

// A server whose Unadvise fails keeps the session's sink and calls it 150 ms later, when the
// session is long gone; then it lets the sink go and holds nothing.
TEST_F(SessionTest, ASinkKeptByTheServerIsCalledAfterTheSessionWent) {
    for (const std::string& activation : {std::string("inproc"), std::string("local")}) {
        SCOPED_TRACE(activation);
        Serve(R"("faults": {"results": {"Unadvise:IOPCDataCallback": "E_FAIL"},
                            "keepSinks": {"callAfterMs": 150}})",
              activation);
        Connect();
        ASSERT_TRUE(session_->CallbackMode());
        session_.reset();
        LONG objects = -1, references = -1, sinks = -1;
        ASSERT_EQ(S_OK, stats_->GetOutstanding(&objects, &references, &sinks));
        EXPECT_EQ(0, objects);
        EXPECT_EQ(1, sinks) << "kept";
        ASSERT_TRUE(PumpUntil([&] {
            return CallsOf(stats_.Get(), L"IOPCDataCallback::OnDataChange (late)") == 1 &&
                   SUCCEEDED(stats_->GetOutstanding(&objects, &references, &sinks)) && sinks == 0;
        }));
        EXPECT_TRUE(messages_.empty());
    }
}

} // namespace

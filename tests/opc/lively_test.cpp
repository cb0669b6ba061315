// Servers that behave as plant servers do on their own: they revise update rates they do not
// offer, know only their own locales, notify at a group's rate from their own thread whether
// the client asked or not, and keep a sink whose withdrawal failed to call it once more later.
#include "com_helpers.h"
#include "report_directory.h"

#include <opcerror.h>

#include <gtest/gtest.h>

#include <cstring>

namespace opctest {
namespace {

HRESULT AddGroup(IOPCServer* server, const wchar_t* name, DWORD rate, ComPtr<IUnknown>& group,
                 OPCHANDLE& handle, DWORD* revised = nullptr) {
    DWORD given = 0;
    const HRESULT hr =
        server->AddGroup(name, TRUE, rate, 1324, nullptr, nullptr, 0, &handle, &given,
                         IID_IOPCGroupStateMgt, group.ReleaseAndGetAddressOf());
    if (revised)
        *revised = given;
    return hr;
}

HRESULT AdviseCallback(IUnknown* group, IOPCDataCallback* sink, ComPtr<IConnectionPoint>& point,
                       DWORD& cookie) {
    ComPtr<IConnectionPointContainer> points;
    HRESULT hr = group->QueryInterface(IID_PPV_ARGS(&points));
    if (SUCCEEDED(hr))
        hr = points->FindConnectionPoint(IID_IOPCDataCallback, &point);
    return SUCCEEDED(hr) ? point->Advise(sink, &cookie) : hr;
}

TEST(RatesTest, AGroupGetsTheClosestRateTheServerOffers) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.Rates", IID_PPV_ARGS(&server)));
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, AddGroup(server.Get(), L"G1", 1000, group, handle, &revised));
    EXPECT_EQ(250u, revised);
    ASSERT_TRUE(group) << "OPC_S_UNSUPPORTEDRATE is a success: the group is there";
    ComPtr<IUnknown> exact;
    OPCHANDLE other = 0;
    EXPECT_EQ(S_OK, AddGroup(server.Get(), L"G2", 2000, exact, other, &revised));
    EXPECT_EQ(2000u, revised);

    ComPtr<IOPCGroupStateMgt> state;
    ASSERT_EQ(S_OK, group.As(&state));
    DWORD asked = 1700;
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE,
              state->SetState(&asked, &revised, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2000u, revised);
    asked = 250;
    EXPECT_EQ(S_OK, state->SetState(&asked, &revised, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(250u, revised);
}

TEST(RatesTest, ErrorStringsOnlyInTheLocalesTheServerOffers) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.Rates", IID_PPV_ARGS(&server)));
    for (LCID locale : {LCID(LOCALE_SYSTEM_DEFAULT), LCID(LOCALE_USER_DEFAULT), LCID(0x0407)}) {
        LPWSTR text = nullptr;
        EXPECT_EQ(S_OK, server->GetErrorString(OPC_E_BADRIGHTS, locale, &text)) << locale;
        TaskString owned(text);
        EXPECT_TRUE(owned) << locale;
    }
    for (LCID locale : {LCID(0x0409), LCID(0x0804), LCID(0x12345678)}) {
        LPWSTR text = reinterpret_cast<LPWSTR>(1);
        EXPECT_EQ(E_INVALIDARG, server->GetErrorString(OPC_E_BADRIGHTS, locale, &text)) << locale;
        EXPECT_EQ(nullptr, text);
    }
    ComPtr<IOPCCommon> common;
    ASSERT_EQ(S_OK, server.As(&common));
    DWORD count = 0;
    LCID* locales = nullptr;
    ASSERT_EQ(S_OK, common->QueryAvailableLocaleIDs(&count, &locales));
    std::unique_ptr<LCID, TaskMemFree> owned(locales);
    EXPECT_EQ((std::vector<LCID>{LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT, 0x0407}),
              std::vector<LCID>(locales, locales + count));
    EXPECT_EQ(E_INVALIDARG, common->SetLocaleID(0x0409));
}

std::string ThreadingName(const testing::TestParamInfo<const wchar_t*>& info) {
    const char* const names[] = {"Apartment", "Free", "LocalServer"};
    return names[info.index];
}

class LivelyTest : public testing::TestWithParam<const wchar_t*> {};

// Ticks alternate: a keep-alive without items, then the two items of the world. The client
// never added them: their handles are the server's inventions.
TEST_P(LivelyTest, AnActiveGroupNotifiesAtItsRateOnItsOwn) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server)));
    auto stats = StatsOf(server.Get());
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(OPC_S_UNSUPPORTEDRATE,
              AddGroup(server.Get(), L"Group1", 1000, group, handle, &revised));
    EXPECT_EQ(20u, revised);
    auto sink = MakeSink<CallbackSink>();
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AdviseCallback(group.Get(), sink.Get(), point, cookie));
    ASSERT_TRUE(PumpUntil([&] { return sink->dataChanges >= 6; }))
        << sink->dataChanges << " notifications\n"
        << ReportOf(stats.Get());
    // Ticks went by before the sink came; from then on keep-alives and items alternate.
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(sink->counts[i] == 0 || sink->counts[i] == 2) << i << ": " << sink->counts[i];
        if (i > 0) {
            EXPECT_NE(sink->counts[i - 1], sink->counts[i]) << i;
        }
    }
    EXPECT_EQ(0, sink->foreignThreadCalls) << "always in the client's apartment";
    EXPECT_EQ(1324u, sink->lastGroup);
    if (sink->values.size() == 2) {
        EXPECT_EQ(0xF0E00001u, sink->values[0].handle);
        EXPECT_EQ(VT_R4, V_VT(&sink->values[0].value));
        EXPECT_EQ(0xF0E00002u, sink->values[1].handle);
        EXPECT_EQ(VT_I4, V_VT(&sink->values[1].value));
    }

    // An inactive group is silent; at most a notification already under way still arrives.
    ComPtr<IOPCGroupStateMgt> state;
    ASSERT_EQ(S_OK, group.As(&state));
    BOOL inactive = FALSE;
    ASSERT_EQ(S_OK,
              state->SetState(nullptr, &revised, &inactive, nullptr, nullptr, nullptr, nullptr));
    const int atRest = sink->dataChanges;
    PumpFor(150);
    EXPECT_LE(sink->dataChanges, atRest + 1);

    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_TRUE(PumpUntil([&] { return sink->References() == 1; }));
    state.Reset();
    point.Reset();
    server->RemoveGroup(handle, FALSE);
    group.Reset();
    server.Reset();
    EXPECT_EQ(0, OutstandingOf(stats.Get()).objects) << ReportOf(stats.Get());
    EXPECT_EQ(0, OutstandingOf(stats.Get()).sinks);
    EXPECT_GE(CallsOf(stats.Get(), L"IOPCDataCallback::OnDataChange (delivered)"), 6);
}

TEST_P(LivelyTest, StreamSubscribersGetTheSameTicks) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server)));
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_TRUE(SUCCEEDED(AddGroup(server.Get(), L"Group1", 1000, group, handle)));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.As(&data));
    auto sink = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&format, 0, sink.Get(), &connection));
    ASSERT_TRUE(PumpUntil([&] { return sink->received.size() >= 4; }));
    std::vector<DWORD> counts;
    for (const StreamSink::Stream& stream : sink->received) {
        OPCGROUPHEADER header = {};
        ASSERT_GE(stream.bytes.size(), sizeof header);
        std::memcpy(&header, stream.bytes.data(), sizeof header);
        EXPECT_EQ(stream.bytes.size(), header.dwSize);
        counts.push_back(header.dwItemCount);
    }
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(counts[i] == 0 || counts[i] == 2) << i << ": " << counts[i];
        if (i > 0) {
            EXPECT_NE(counts[i - 1], counts[i]) << i;
        }
    }
    EXPECT_EQ(S_OK, data->DUnadvise(connection));
    EXPECT_TRUE(PumpUntil([&] { return sink->References() == 1; }));
    data.Reset();
    server->RemoveGroup(handle, FALSE);
}

INSTANTIATE_TEST_SUITE_P(Simulated, LivelyTest,
                         testing::Values(L"OpcSim.Test.Lively", L"OpcSim.Test.Lively.Free",
                                         L"OpcSim.Test.Lively.Local"),
                         ThreadingName);

TEST(LivelyTest, FallsSilentAfterItsTicks) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.Lively.Short", IID_PPV_ARGS(&server)));
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_TRUE(SUCCEEDED(AddGroup(server.Get(), L"Group1", 10, group, handle)));
    auto sink = MakeSink<CallbackSink>();
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, AdviseCallback(group.Get(), sink.Get(), point, cookie));
    ASSERT_TRUE(PumpUntil([&] { return sink->dataChanges >= 3; }));
    PumpFor(100);
    EXPECT_EQ((std::vector<DWORD>{1, 1, 1}), sink->counts) << "items only, three ticks";
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
}

class KeepSinkTest : public testing::TestWithParam<const wchar_t*> {};

// Every withdrawal fails; the server keeps the three sinks, calls each once 100 ms later and
// then lets it go, although the client released everything of the server long before.
TEST_P(KeepSinkTest, CallsASinkItKeptOnceLaterAndThenLetsItGo) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server)));
    auto stats = StatsOf(server.Get());
    ComPtr<IConnectionPointContainer> serverPoints;
    ASSERT_EQ(S_OK, server.As(&serverPoints));
    ComPtr<IConnectionPoint> shutdownPoint;
    ASSERT_EQ(S_OK, serverPoints->FindConnectionPoint(IID_IOPCShutdown, &shutdownPoint));
    auto shutdown = MakeSink<ShutdownSink>();
    DWORD shutdownCookie = 0;
    ASSERT_EQ(S_OK, shutdownPoint->Advise(shutdown.Get(), &shutdownCookie));
    ComPtr<IUnknown> group, streamGroup;
    OPCHANDLE handle = 0, streamHandle = 0;
    ASSERT_EQ(S_OK, AddGroup(server.Get(), L"Group1", 1000, group, handle));
    ASSERT_EQ(S_OK, AddGroup(server.Get(), L"Group2", 1000, streamGroup, streamHandle));
    auto callback = MakeSink<CallbackSink>();
    ComPtr<IConnectionPoint> callbackPoint;
    DWORD callbackCookie = 0;
    ASSERT_EQ(S_OK, AdviseCallback(group.Get(), callback.Get(), callbackPoint, callbackCookie));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, streamGroup.As(&data));
    auto stream = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&format, 0, stream.Get(), &connection));

    EXPECT_EQ(E_FAIL, shutdownPoint->Unadvise(shutdownCookie));
    EXPECT_EQ(E_FAIL, callbackPoint->Unadvise(callbackCookie));
    EXPECT_EQ(E_FAIL, data->DUnadvise(connection));
    shutdownPoint.Reset();
    serverPoints.Reset();
    callbackPoint.Reset();
    data.Reset();
    server->RemoveGroup(handle, FALSE);
    server->RemoveGroup(streamHandle, FALSE);
    group.Reset();
    streamGroup.Reset();
    server.Reset();
    const Outstanding kept = OutstandingOf(stats.Get());
    EXPECT_EQ(0, kept.objects) << ReportOf(stats.Get());
    EXPECT_EQ(3, kept.sinks) << ReportOf(stats.Get());

    // The server counts a sink let go just after it released it.
    ASSERT_TRUE(PumpUntil([&] {
        return shutdown->References() == 1 && callback->References() == 1 &&
               stream->References() == 1 && OutstandingOf(stats.Get()).sinks == 0;
    })) << ReportOf(stats.Get());
    EXPECT_EQ(1, shutdown->calls);
    EXPECT_EQ((std::vector<DWORD>{0}), callback->counts);
    EXPECT_EQ(0, callback->foreignThreadCalls);
    EXPECT_EQ(1u, stream->received.size());
    EXPECT_EQ(1, CallsOf(stats.Get(), L"IOPCShutdown::ShutdownRequest (late)"));
    EXPECT_EQ(1, CallsOf(stats.Get(), L"IOPCDataCallback::OnDataChange (late)"));
    EXPECT_EQ(1, CallsOf(stats.Get(), L"IAdviseSink::OnDataChange (late)"));
}

INSTANTIATE_TEST_SUITE_P(Simulated, KeepSinkTest,
                         testing::Values(L"OpcSim.Test.KeepSink", L"OpcSim.Test.KeepSink.Free",
                                         L"OpcSim.Test.KeepSink.Local"),
                         ThreadingName);

// The report of a server that kept a sink is written once it let the sink go, and then says
// that nothing is outstanding.
TEST(KeepSinkTest, ReportsReleasedOnlyAfterTheKeptSinkWent) {
    const simtest::ReportDirectory reports(L"opcsim-kept");
    const std::wstring file = reports.File(L"OpcSim.Test.KeepSink");
    auto sink = MakeSink<CallbackSink>();
    {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.KeepSink", IID_PPV_ARGS(&server)));
        ComPtr<IUnknown> group;
        OPCHANDLE handle = 0;
        ASSERT_EQ(S_OK, AddGroup(server.Get(), L"Group1", 1000, group, handle));
        ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, AdviseCallback(group.Get(), sink.Get(), point, cookie));
        EXPECT_EQ(E_FAIL, point->Unadvise(cookie));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str()))
        << "no report while the sink is kept";
    ASSERT_TRUE(PumpUntil([&] { return sink->References() == 1; }));
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str()));
    const std::string report = reports.Report(L"OpcSim.Test.KeepSink");
    EXPECT_NE(std::string::npos, report.find("report released")) << report;
    EXPECT_NE(std::string::npos, report.find("outstanding objects=0 references=0 sinks=0"))
        << report;
    EXPECT_NE(std::string::npos, report.find("calls IOPCDataCallback::OnDataChange (late)=1"))
        << report;
}

} // namespace
} // namespace opctest

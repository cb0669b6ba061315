// Servers whose objects are marked "Both" or "Free" call their clients from threads of their
// own: the client's sinks travel through the proxy/stub, and the calls still arrive in the
// client's apartment.
#include "com_helpers.h"

#include <gtest/gtest.h>

namespace opctest {
namespace {

class OwnThreadsTest : public testing::TestWithParam<const wchar_t*> {};

TEST_P(OwnThreadsTest, DeliversShutdownAndDataChangesThroughMarshaledSinks) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server)));
    auto stats = StatsOf(server.Get());
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, server.As(&points));
    ComPtr<IConnectionPoint> shutdownPoint;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCShutdown, &shutdownPoint));
    auto shutdown = MakeSink<ShutdownSink>();
    DWORD shutdownCookie = 0;
    ASSERT_EQ(S_OK, shutdownPoint->Advise(shutdown.Get(), &shutdownCookie));

    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, server->AddGroup(L"Group1", TRUE, 1000, 1324, nullptr, nullptr, 0, &handle,
                                     &revised, IID_IOPCGroupStateMgt, group.GetAddressOf()));
    ComPtr<IConnectionPointContainer> groupPoints;
    ASSERT_EQ(S_OK, group.As(&groupPoints));
    ComPtr<IConnectionPoint> callbackPoint;
    ASSERT_EQ(S_OK, groupPoints->FindConnectionPoint(IID_IOPCDataCallback, &callbackPoint));
    auto callback = MakeSink<CallbackSink>();
    DWORD callbackCookie = 0;
    ASSERT_EQ(S_OK, callbackPoint->Advise(callback.Get(), &callbackCookie));
    // The DA 1.0 streams on a group of their own: a group notifies by one mechanism.
    ComPtr<IUnknown> streamGroup;
    OPCHANDLE streamHandle = 0;
    ASSERT_EQ(S_OK,
              server->AddGroup(L"Group2", TRUE, 1000, 1325, nullptr, nullptr, 0, &streamHandle,
                               &revised, IID_IOPCGroupStateMgt, streamGroup.GetAddressOf()));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, streamGroup.As(&data));
    auto stream = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD streamConnection = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, stream.Get(), &streamConnection));
    EXPECT_EQ(1u, stream->received.size()) << "the first stream at once";

    ComPtr<IOpcSimControl> control;
    ASSERT_EQ(S_OK, server.As(&control));
    ASSERT_EQ(S_OK, control->RequestShutdown(L"From another thread.", FALSE));
    EXPECT_EQ(1, shutdown->calls);
    EXPECT_EQ(L"From another thread.", shutdown->reason);
    EXPECT_EQ(GetCurrentThreadId(), shutdown->thread);
    OPCHANDLE handles[1] = {42};
    VARIANT values[1];
    VariantInit(&values[0]);
    V_VT(&values[0]) = VT_R4;
    V_R4(&values[0]) = 1.5f;
    ASSERT_EQ(S_OK, control->SendDataChange(1, handles, values, nullptr, nullptr));
    EXPECT_EQ(1, callback->dataChanges);
    EXPECT_EQ(GetCurrentThreadId(), callback->thread);
    ASSERT_EQ(1u, callback->values.size());
    EXPECT_EQ(1.5f, V_R4(&callback->values[0].value));
    EXPECT_EQ(2u, stream->received.size());
    control.Reset();

    EXPECT_EQ(S_OK, shutdownPoint->Unadvise(shutdownCookie));
    EXPECT_EQ(S_OK, callbackPoint->Unadvise(callbackCookie));
    EXPECT_EQ(S_OK, data->DUnadvise(streamConnection));
    shutdownPoint.Reset();
    points.Reset();
    callbackPoint.Reset();
    groupPoints.Reset();
    data.Reset();
    server->RemoveGroup(handle, FALSE);
    server->RemoveGroup(streamHandle, FALSE);
    group.Reset();
    streamGroup.Reset();
    server.Reset();
    EXPECT_EQ(0, OutstandingOf(stats.Get()).objects) << ReportOf(stats.Get());
    EXPECT_EQ(0, OutstandingOf(stats.Get()).sinks) << ReportOf(stats.Get());
    EXPECT_EQ(1, shutdown->References());
    EXPECT_EQ(1, callback->References());
    EXPECT_EQ(1, stream->References());
}

INSTANTIATE_TEST_SUITE_P(Simulated, OwnThreadsTest,
                         testing::Values(L"OpcSim.Test.Both", L"OpcSim.Test.Free"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "Both" : "Free";
                         });

TEST(OwnThreadsTest, FreeServerSendsItsOwnShutdownRequest) {
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.TimedShutdown.Free", IID_PPV_ARGS(&points)));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCShutdown, &point));
    auto sink = MakeSink<ShutdownSink>();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(sink.Get(), &cookie));
    ASSERT_TRUE(PumpUntil([&] { return sink->calls > 0; }));
    EXPECT_EQ(L"Maintenance at noon.", sink->reason);
    EXPECT_EQ(GetCurrentThreadId(), sink->thread);
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
}

} // namespace
} // namespace opctest

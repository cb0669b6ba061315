// The failures a simulated server shows when its world file tells it to: each makes the real
// call fail the way a client must survive.
#include "com_helpers.h"

#include <opcerror.h>

#include <gtest/gtest.h>

namespace opctest {
namespace {

using Names = std::vector<std::wstring>;

HRESULT AddGroup(IOPCServer* server, ComPtr<IUnknown>& group, OPCHANDLE& handle) {
    DWORD revised = 0;
    return server->AddGroup(L"Group1", TRUE, 1000, 1324, nullptr, nullptr, 0, &handle, &revised,
                            IID_IOPCGroupStateMgt, group.ReleaseAndGetAddressOf());
}

TEST(FaultTest, CreationRefusedWithTheChosenResult) {
    ComPtr<IUnknown> server;
    EXPECT_EQ(E_ACCESSDENIED, CreateServer(L"OpcSim.Test.Refused", IID_PPV_ARGS(&server)));
    EXPECT_EQ(nullptr, server.Get());
}

TEST(FaultTest, CreationRefusedAcrossProcesses) {
    ComPtr<IUnknown> server;
    EXPECT_EQ(static_cast<HRESULT>(0x80040155),
              CreateServer(L"OpcSim.Test.Refused.Local", IID_PPV_ARGS(&server)));
}

TEST(FaultTest, WithoutIOPCServer) {
    ComPtr<IUnknown> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.NoServer", IID_PPV_ARGS(&server)));
    ComPtr<IOPCServer> opc;
    EXPECT_EQ(E_NOINTERFACE, server.As(&opc));
}

TEST(FaultTest, WithoutBrowseInterface) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.NoBrowse", IID_PPV_ARGS(&server)));
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    EXPECT_EQ(E_NOINTERFACE, server.As(&browse));
}

TEST(FaultTest, QueryOrganizationFails) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.OrgFails", IID_PPV_ARGS(&browse)));
    OPCNAMESPACETYPE type;
    EXPECT_EQ(E_FAIL, browse->QueryOrganization(&type));
}

class AddGroupFailsTest : public testing::TestWithParam<const wchar_t*> {};

TEST_P(AddGroupFailsTest, RefusesTheGroupButStaysBrowsable) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server)));
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    EXPECT_EQ(E_OUTOFMEMORY, AddGroup(server.Get(), group, handle));
    EXPECT_EQ(nullptr, group.Get());
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, server.As(&browse));
    EXPECT_EQ((Names{L"Area"}), Browse(browse.Get(), OPC_BRANCH));
}

INSTANTIATE_TEST_SUITE_P(Simulated, AddGroupFailsTest,
                         testing::Values(L"OpcSim.Test.AddGroupFails",
                                         L"OpcSim.Test.AddGroupFails.Local"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "InProcess" : "LocalServer";
                         });

class StreamModeTest : public testing::TestWithParam<const wchar_t*> {};

// Without the IOPCDataCallback connection point a client falls back to the DA 1.0 streams.
TEST_P(StreamModeTest, OffersNoDataCallbackButStreams) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server)));
    auto stats = StatsOf(server.Get());
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(server.Get(), group, handle));
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, group.As(&points));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, points->FindConnectionPoint(IID_IOPCDataCallback, &point));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.As(&data));
    auto sink = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &connection));
    EXPECT_EQ(1u, sink->received.size());
    EXPECT_EQ(S_OK, data->DUnadvise(connection));
    points.Reset();
    data.Reset();
    EXPECT_EQ(OPC_S_INUSE, server->RemoveGroup(handle, FALSE));
    group.Reset();
    server.Reset();
    EXPECT_EQ(0, OutstandingOf(stats.Get()).objects) << ReportOf(stats.Get());
    EXPECT_EQ(1, sink->References());
}

INSTANTIATE_TEST_SUITE_P(Simulated, StreamModeTest,
                         testing::Values(L"OpcSim.Test.NoCallback",
                                         L"OpcSim.Test.NoCallback.Local"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "InProcess" : "LocalServer";
                         });

TEST(FaultTest, WithoutIDataObject) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.NoDataObject", IID_PPV_ARGS(&server)));
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(server.Get(), group, handle));
    ComPtr<IDataObject> data;
    EXPECT_EQ(E_NOINTERFACE, group.As(&data));
}

TEST(FaultTest, WriteCompleteAdviseFails) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.WriteAdviseFails", IID_PPV_ARGS(&server)));
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(server.Get(), group, handle));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.As(&data));
    auto sink = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATWRITECOMPLETE), nullptr, DVASPECT_CONTENT, -1,
                        TYMED_HGLOBAL};
    DWORD connection = 0;
    EXPECT_EQ(E_FAIL, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &connection));
    format.cfFormat = Format(OPCSTMFORMATDATATIME);
    EXPECT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &connection));
    EXPECT_EQ(S_OK, data->DUnadvise(connection));
}

TEST(FaultTest, DataAdviseFails) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.DataAdviseFails", IID_PPV_ARGS(&server)));
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(server.Get(), group, handle));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.As(&data));
    auto sink = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATWRITECOMPLETE), nullptr, DVASPECT_CONTENT, -1,
                        TYMED_HGLOBAL};
    DWORD write = 0, values = 0;
    EXPECT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &write));
    format.cfFormat = Format(OPCSTMFORMATDATATIME);
    EXPECT_EQ(E_OUTOFMEMORY, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &values));
    EXPECT_EQ(0u, values);
    EXPECT_EQ(S_OK, data->DUnadvise(write));
}

TEST(FaultTest, GetItemIdFailsForChosenItems) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.ItemIdFails", IID_PPV_ARGS(&browse)));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Area"));
    LPWSTR id = nullptr;
    EXPECT_EQ(E_FAIL, browse->GetItemID(const_cast<LPWSTR>(L"Pressure"), &id));
    EXPECT_EQ(nullptr, id);
    ASSERT_EQ(S_OK, browse->GetItemID(const_cast<LPWSTR>(L"Temperature"), &id));
    TaskString owned(id);
    EXPECT_STREQ(L"Area.Temperature", id);
}

TEST(FaultTest, AnswersSFalseWhereTold) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.SFalse", IID_PPV_ARGS(&server)));
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, server.As(&browse));
    OPCNAMESPACETYPE type = OPC_NS_FLAT;
    EXPECT_EQ(S_FALSE, browse->QueryOrganization(&type));
    EXPECT_EQ(OPC_NS_HIERARCHIAL, type);
    EXPECT_EQ(S_FALSE, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Area"));
    HRESULT result = S_OK;
    EXPECT_EQ((Names{L"Temperature", L"Pressure"}), Browse(browse.Get(), OPC_LEAF, L"*", &result))
        << "the work is done, the answer is S_FALSE";
    EXPECT_EQ(S_FALSE, result);
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    EXPECT_EQ(S_FALSE, AddGroup(server.Get(), group, handle));
    EXPECT_NE(nullptr, group.Get());
}

TEST(FaultTest, RefusesToEnterChosenBranches) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.RefuseDown", IID_PPV_ARGS(&browse)));
    EXPECT_EQ((Names{L"Area"}), Browse(browse.Get(), OPC_BRANCH));
    EXPECT_EQ(E_INVALIDARG, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Area"));
}

TEST(FaultTest, WithoutShutdownConnectionPoint) {
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.NoShutdown", IID_PPV_ARGS(&points)));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, points->FindConnectionPoint(IID_IOPCShutdown, &point));
}

TEST(FaultTest, SendsAShutdownRequestOfItsOwn) {
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.TimedShutdown", IID_PPV_ARGS(&points)));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCShutdown, &point));
    auto sink = MakeSink<ShutdownSink>();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(sink.Get(), &cookie));
    EXPECT_EQ(0, sink->calls);
    ASSERT_TRUE(PumpUntil([&] { return sink->calls > 0; }));
    EXPECT_EQ(L"Maintenance at noon.", sink->reason);
    EXPECT_EQ(GetCurrentThreadId(), sink->thread);
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
}

} // namespace
} // namespace opctest

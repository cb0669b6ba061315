// Groups, the two connection points, the DA 1.0 streams and error texts of a simulated server,
// in process and across processes; and the teardown that leaves nothing outstanding.
#include "com_helpers.h"
#include "report_directory.h"

#include <opcerror.h>

#include <gtest/gtest.h>

#include <cstring>

namespace opctest {
namespace {

class GroupTest : public testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CreateServer(GetParam(), IID_PPV_ARGS(&server_)));
        stats_ = StatsOf(server_.Get());
        ASSERT_TRUE(stats_);
    }
    HRESULT AddGroup(const wchar_t* name, OPCHANDLE client, ComPtr<IOPCGroupStateMgt>& group,
                     OPCHANDLE& handle) {
        DWORD revised = 0;
        FLOAT deadband = 0.0f;
        return server_->AddGroup(name, TRUE, 1000, client, nullptr, &deadband, 0, &handle, &revised,
                                 IID_IOPCGroupStateMgt,
                                 reinterpret_cast<LPUNKNOWN*>(group.ReleaseAndGetAddressOf()));
    }

    ComPtr<IOPCServer> server_;
    ComPtr<IOpcSimStats> stats_;
};

TEST_P(GroupTest, AddsAGroupWithTheRequestedState) {
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1324, group, handle));
    EXPECT_NE(0u, handle);
    DWORD rate = 0, lcid = 1;
    BOOL active = FALSE;
    LPWSTR name = nullptr;
    LONG bias = 1;
    FLOAT deadband = 1.0f;
    OPCHANDLE client = 0, serverHandle = 0;
    ASSERT_EQ(S_OK, group->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &client,
                                    &serverHandle));
    TaskString owned(name);
    EXPECT_STREQ(L"Group1", name);
    EXPECT_EQ(1000u, rate);
    EXPECT_TRUE(active);
    EXPECT_EQ(0.0f, deadband);
    EXPECT_EQ(1324u, client);
    EXPECT_EQ(handle, serverHandle);

    ComPtr<IOPCGroupStateMgt> same;
    OPCHANDLE other = 0;
    EXPECT_EQ(OPC_E_DUPLICATENAME, AddGroup(L"Group1", 1, same, other));
    EXPECT_EQ(S_OK, server_->GetGroupByName(L"Group1", IID_IOPCGroupStateMgt,
                                            reinterpret_cast<LPUNKNOWN*>(same.GetAddressOf())));
    same.Reset();
    // The client still holds the group: removed all the same, "in use" until released.
    EXPECT_EQ(OPC_S_INUSE, server_->RemoveGroup(handle, FALSE));
    EXPECT_EQ(E_INVALIDARG, server_->RemoveGroup(handle, FALSE));
    group.Reset();
    EXPECT_EQ(-1, [&] {
        LONG refs = 0;
        stats_->GetObjectReferences(L"Group", &refs);
        return refs;
    }());
}

TEST_P(GroupTest, RemovesAReleasedGroupAtOnce) {
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1, group, handle));
    group.Reset();
    EXPECT_EQ(S_OK, server_->RemoveGroup(handle, FALSE));
}

TEST_P(GroupTest, ReportsItsStatus) {
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, server_->GetStatus(&status));
    ASSERT_NE(nullptr, status);
    EXPECT_EQ(OPC_STATUS_RUNNING, status->dwServerState);
    EXPECT_STREQ(L"OpcSim simulated server", status->szVendorInfo);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

TEST_P(GroupTest, DescribesErrorsWithItsOwnTexts) {
    LPWSTR text = nullptr;
    ASSERT_EQ(S_OK, server_->GetErrorString(static_cast<HRESULT>(0xC0041234), LOCALE_SYSTEM_DEFAULT,
                                            &text));
    TaskString owned(text);
    EXPECT_STREQ(L"Simulated device failure.", text);
    ASSERT_EQ(S_OK, server_->GetErrorString(OPC_E_UNKNOWNITEMID, LOCALE_SYSTEM_DEFAULT, &text));
    owned.reset(text);
    EXPECT_STREQ(L"No such item in the simulated plant.", text);
    ASSERT_EQ(S_OK, server_->GetErrorString(OPC_E_BADRIGHTS, LOCALE_SYSTEM_DEFAULT, &text));
    owned.reset(text);
    EXPECT_STREQ(L"The item's access rights do not allow the operation.", text);
    EXPECT_EQ(E_INVALIDARG, server_->GetErrorString(static_cast<HRESULT>(0xC0049999),
                                                    LOCALE_SYSTEM_DEFAULT, &text));

    ComPtr<IOPCCommon> common;
    ASSERT_EQ(S_OK, server_.As(&common));
    ASSERT_EQ(S_OK, common->GetErrorString(static_cast<HRESULT>(0xC0041234), &text));
    owned.reset(text);
    EXPECT_STREQ(L"Simulated device failure.", text);
    EXPECT_EQ(S_OK, common->SetLocaleID(0x0804));
    LCID lcid = 0;
    EXPECT_EQ(S_OK, common->GetLocaleID(&lcid));
    EXPECT_EQ(0x0804u, lcid);
    EXPECT_EQ(E_INVALIDARG, common->SetLocaleID(0x0407));
    EXPECT_EQ(S_OK, common->SetClientName(L"conformance test"));
}

TEST_P(GroupTest, SendsShutdownRequestsToItsSubscribers) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, server_.As(&container));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCShutdown, &point));
    ComPtr<IConnectionPoint> asked;
    EXPECT_EQ(S_OK, point.As(&asked)) << "a connection point answers IID_IConnectionPoint";
    IID iid = {};
    EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(iid, IID_IOPCShutdown));
    auto sink = MakeSink<ShutdownSink>();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(sink.Get(), &cookie));
    EXPECT_NE(0u, cookie);

    ComPtr<IOpcSimControl> control;
    ASSERT_EQ(S_OK, server_.As(&control));
    ASSERT_EQ(S_OK, control->RequestShutdown(L"Plant closes.", FALSE));
    EXPECT_EQ(1, sink->calls);
    EXPECT_EQ(L"Plant closes.", sink->reason);
    EXPECT_EQ(GetCurrentThreadId(), sink->thread) << "delivered in the client's apartment";

    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
    EXPECT_EQ(1, sink->References()) << "the server let the sink go";
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IOPCDataCallback, &asked));
}

TEST_P(GroupTest, CallsBackThroughIOPCDataCallback) {
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1324, group, handle));
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, group.As(&container));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCDataCallback, &point));
    auto sink = MakeSink<CallbackSink>();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(sink.Get(), &cookie));

    OPCHANDLE handles[3] = {11, 12, 13};
    VARIANT values[3];
    for (VARIANT& value : values)
        VariantInit(&value);
    V_VT(&values[0]) = VT_R8;
    V_R8(&values[0]) = 21.5;
    V_VT(&values[1]) = VT_BSTR;
    V_BSTR(&values[1]) = SysAllocString(L"运行");
    V_VT(&values[2]) = VT_I4;
    V_I4(&values[2]) = 7;
    WORD qualities[3] = {OPC_QUALITY_GOOD, OPC_QUALITY_GOOD, OPC_QUALITY_BAD};
    HRESULT errors[3] = {S_OK, E_FAIL, S_OK};
    ComPtr<IOpcSimControl> control;
    ASSERT_EQ(S_OK, server_.As(&control));
    ASSERT_EQ(S_OK, control->SendDataChange(3, handles, values, qualities, errors));
    ASSERT_EQ(1, sink->dataChanges);
    EXPECT_EQ(1324u, sink->lastGroup);
    ASSERT_EQ(3u, sink->values.size());
    EXPECT_EQ(12u, sink->values[1].handle);
    EXPECT_EQ(21.5, V_R8(&sink->values[0].value));
    EXPECT_STREQ(L"运行", V_BSTR(&sink->values[1].value));
    EXPECT_EQ(E_FAIL, sink->values[1].error);
    EXPECT_EQ(OPC_QUALITY_BAD, sink->values[2].quality);
    ASSERT_EQ(S_OK, control->SendWriteComplete(3, handles, errors));
    EXPECT_EQ(1, sink->writeCompletes);
    EXPECT_EQ((std::vector<HRESULT>{S_OK, E_FAIL, S_OK}), sink->writeErrors);
    for (VARIANT& value : values)
        VariantClear(&value);

    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_EQ(1, sink->References());
}

TEST_P(GroupTest, StreamsDataWithTimeAndWriteCompletion) {
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1324, group, handle));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.As(&data));
    auto sink = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATWRITECOMPLETE), nullptr, DVASPECT_CONTENT, -1,
                        TYMED_HGLOBAL};
    DWORD writeConnection = 0, dataConnection = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &writeConnection));
    format.cfFormat = Format(OPCSTMFORMATDATATIME);
    ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, sink.Get(), &dataConnection));
    EXPECT_NE(writeConnection, dataConnection);

    // ADVF_PRIMEFIRST: one stream of each format at once, without items.
    ASSERT_EQ(2u, sink->received.size());
    EXPECT_EQ(Format(OPCSTMFORMATWRITECOMPLETE), sink->received[0].format);
    ASSERT_EQ(sizeof(OPCGROUPHEADERWRITE), sink->received[0].bytes.size());
    EXPECT_EQ(Format(OPCSTMFORMATDATATIME), sink->received[1].format);
    ASSERT_GE(sink->received[1].bytes.size(), sizeof(OPCGROUPHEADER));
    OPCGROUPHEADER header;
    std::memcpy(&header, sink->received[1].bytes.data(), sizeof header);
    EXPECT_EQ(0u, header.dwItemCount);
    EXPECT_EQ(1324u, header.hClientGroup);
    EXPECT_EQ(sizeof(OPCGROUPHEADER), header.dwSize);

    // A data change arrives as an OPCSTMFORMATDATATIME stream only.
    OPCHANDLE handles[2] = {5, 6};
    VARIANT values[2];
    VariantInit(&values[0]);
    VariantInit(&values[1]);
    V_VT(&values[0]) = VT_BSTR;
    V_BSTR(&values[0]) = SysAllocString(L"abc");
    V_VT(&values[1]) = VT_I2;
    V_I2(&values[1]) = -3;
    ComPtr<IOpcSimControl> control;
    ASSERT_EQ(S_OK, server_.As(&control));
    ASSERT_EQ(S_OK, control->SendDataChange(2, handles, values, nullptr, nullptr));
    VariantClear(&values[0]);
    ASSERT_EQ(3u, sink->received.size());
    const std::vector<BYTE>& stream = sink->received[2].bytes;
    ASSERT_GE(stream.size(), sizeof(OPCGROUPHEADER) + 2 * sizeof(OPCITEMHEADER1));
    std::memcpy(&header, stream.data(), sizeof header);
    EXPECT_EQ(2u, header.dwItemCount);
    EXPECT_EQ(stream.size(), header.dwSize);
    OPCITEMHEADER1 items[2];
    std::memcpy(items, stream.data() + sizeof header, sizeof items);
    EXPECT_EQ(5u, items[0].hClient);
    EXPECT_EQ(OPC_QUALITY_GOOD, items[0].wQuality);
    ASSERT_LE(items[0].dwValueOffset + 16 + 4 + 8u, stream.size());
    VARTYPE type;
    std::memcpy(&type, stream.data() + items[0].dwValueOffset, sizeof type);
    EXPECT_EQ(VT_BSTR, type);
    DWORD bytes;
    std::memcpy(&bytes, stream.data() + items[0].dwValueOffset + 16, sizeof bytes);
    EXPECT_EQ(6u, bytes);
    EXPECT_EQ(0, std::memcmp(stream.data() + items[0].dwValueOffset + 20, L"abc", 6));
    SHORT small;
    std::memcpy(&type, stream.data() + items[1].dwValueOffset, sizeof type);
    std::memcpy(&small, stream.data() + items[1].dwValueOffset + 8, sizeof small);
    EXPECT_EQ(VT_I2, type);
    EXPECT_EQ(-3, small);

    EXPECT_EQ(S_OK, data->DUnadvise(dataConnection));
    EXPECT_EQ(S_OK, data->DUnadvise(writeConnection));
    EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(writeConnection));
    EXPECT_EQ(1, sink->References());
}

// A stream subscription asks for exactly the DA 1.0 streams: a registered stream format, the
// content, all of it, no target device, global memory only.
TEST_P(GroupTest, ChecksTheWholeFormatOfAStreamSubscription) {
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1, group, handle));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.As(&data));
    auto sink = MakeSink<StreamSink>();
    const FORMATETC good = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1,
                            TYMED_HGLOBAL};
    DVTARGETDEVICE device = {};
    device.tdSize = sizeof device;
    struct {
        FORMATETC format;
        HRESULT expected;
    } cases[] = {
        {{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_FORMATETC},
        {{Format("OPCSTMFORMATSOMETHING"), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
         DV_E_FORMATETC},
        {{good.cfFormat, &device, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_DVTARGETDEVICE},
        {{good.cfFormat, nullptr, DVASPECT_THUMBNAIL, -1, TYMED_HGLOBAL}, DV_E_DVASPECT},
        {{good.cfFormat, nullptr, DVASPECT_CONTENT, 0, TYMED_HGLOBAL}, DV_E_LINDEX},
        {{good.cfFormat, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM}, DV_E_TYMED},
        {{good.cfFormat, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM}, DV_E_TYMED},
    };
    for (auto& one : cases) {
        DWORD connection = 7;
        EXPECT_EQ(one.expected, data->DAdvise(&one.format, 0, sink.Get(), &connection))
            << one.format.cfFormat << " " << one.format.dwAspect << " " << one.format.lindex << " "
            << one.format.tymed;
        EXPECT_EQ(0u, connection);
        EXPECT_EQ(one.expected, data->QueryGetData(&one.format));
    }
    EXPECT_EQ(1, sink->References()) << "no refused subscription kept the sink";
    FORMATETC format = good;
    EXPECT_EQ(S_OK, data->QueryGetData(&format));
    DWORD connection = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&format, 0, sink.Get(), &connection));
    EXPECT_EQ(S_OK, data->DUnadvise(connection));
}

// One IOPCDataCallback connection per group; a group notifies by one mechanism at a time;
// one stream subscription per format.
TEST_P(GroupTest, TakesOneSubscriptionOfEachKind) {
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1, group, handle));
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, group.As(&points));
    ComPtr<IConnectionPoint> point, again;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCDataCallback, &point));
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCDataCallback, &again));
    auto first = MakeSink<CallbackSink>();
    auto second = MakeSink<CallbackSink>();
    DWORD cookie = 0, other = 5;
    ASSERT_EQ(S_OK, point->Advise(first.Get(), &cookie));
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, point->Advise(second.Get(), &other));
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, again->Advise(first.Get(), &other))
        << "the limit is the group's, not the connection point object's";
    EXPECT_EQ(0u, other);
    EXPECT_EQ(1, second->References());

    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.As(&data));
    auto stream = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    EXPECT_EQ(CONNECT_E_ADVISELIMIT,
              data->DAdvise(&format, ADVF_PRIMEFIRST, stream.Get(), &connection))
        << "no DA 1.0 streams beside a DA 2.0 connection";
    EXPECT_TRUE(stream->received.empty());

    ASSERT_EQ(S_OK, point->Unadvise(cookie));
    ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, stream.Get(), &connection));
    DWORD twice = 0;
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, data->DAdvise(&format, 0, stream.Get(), &twice));
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, point->Advise(second.Get(), &other))
        << "nor a DA 2.0 connection beside DA 1.0 streams";
    EXPECT_EQ(S_OK, data->DUnadvise(connection));
    EXPECT_EQ(S_OK, point->Advise(second.Get(), &other));
    EXPECT_EQ(S_OK, point->Unadvise(other));
    EXPECT_EQ(1, first->References());
    EXPECT_EQ(1, second->References());
    EXPECT_EQ(1, stream->References());
}

// What an OPC client does from connection to teardown; afterwards the server's counts show
// that the client released every reference it took and withdrew every subscription.
TEST_P(GroupTest, FullSessionLeavesNothingOutstanding) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, server_.As(&browse));
    OPCNAMESPACETYPE type;
    ASSERT_EQ(S_OK, browse->QueryOrganization(&type));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Channel1"));
    ASSERT_EQ(2u, Browse(browse.Get(), OPC_BRANCH).size());
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));

    ComPtr<IConnectionPointContainer> serverPoints;
    ASSERT_EQ(S_OK, server_.As(&serverPoints));
    ComPtr<IConnectionPoint> shutdownPoint;
    ASSERT_EQ(S_OK, serverPoints->FindConnectionPoint(IID_IOPCShutdown, &shutdownPoint));
    auto shutdown = MakeSink<ShutdownSink>();
    DWORD shutdownCookie = 0;
    ASSERT_EQ(S_OK, shutdownPoint->Advise(shutdown.Get(), &shutdownCookie));

    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1324, group, handle));
    ComPtr<IConnectionPointContainer> groupPoints;
    ASSERT_EQ(S_OK, group.As(&groupPoints));
    ComPtr<IConnectionPoint> callbackPoint;
    ASSERT_EQ(S_OK, groupPoints->FindConnectionPoint(IID_IOPCDataCallback, &callbackPoint));
    auto callback = MakeSink<CallbackSink>();
    DWORD callbackCookie = 0;
    ASSERT_EQ(S_OK, callbackPoint->Advise(callback.Get(), &callbackCookie));

    // A second group notifies by the DA 1.0 streams.
    ComPtr<IOPCGroupStateMgt> streamGroup;
    OPCHANDLE streamHandle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group2", 1325, streamGroup, streamHandle));
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, streamGroup.As(&data));
    auto stream = MakeSink<StreamSink>();
    FORMATETC format = {Format(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD streamConnection = 0;
    ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_PRIMEFIRST, stream.Get(), &streamConnection));
    EXPECT_EQ(1u, stream->received.size());

    const Outstanding during = OutstandingOf(stats_.Get());
    EXPECT_EQ(3, during.sinks) << ReportOf(stats_.Get());
    EXPECT_GE(during.objects, 5) << ReportOf(stats_.Get());

    // Teardown, in the order of a careful client.
    EXPECT_EQ(S_OK, shutdownPoint->Unadvise(shutdownCookie));
    EXPECT_EQ(S_OK, callbackPoint->Unadvise(callbackCookie));
    EXPECT_EQ(S_OK, data->DUnadvise(streamConnection));
    shutdownPoint.Reset();
    serverPoints.Reset();
    callbackPoint.Reset();
    groupPoints.Reset();
    data.Reset();
    EXPECT_EQ(OPC_S_INUSE, server_->RemoveGroup(handle, FALSE));
    group.Reset();
    streamGroup.Reset();
    EXPECT_EQ(S_OK, server_->RemoveGroup(streamHandle, FALSE));
    browse.Reset();
    server_.Reset();

    const Outstanding after = OutstandingOf(stats_.Get());
    EXPECT_EQ(0, after.objects) << ReportOf(stats_.Get());
    EXPECT_EQ(0, after.references) << ReportOf(stats_.Get());
    EXPECT_EQ(0, after.sinks) << ReportOf(stats_.Get());
    EXPECT_EQ(2, CallsOf(stats_.Get(), L"IOPCServer::AddGroup"));
    EXPECT_EQ(2, CallsOf(stats_.Get(), L"IOPCServer::RemoveGroup"));
    EXPECT_EQ(2, CallsOf(stats_.Get(), L"IConnectionPoint::Unadvise"));
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IDataObject::DUnadvise"));
    EXPECT_EQ(1, shutdown->References());
    EXPECT_EQ(1, callback->References());
    EXPECT_EQ(1, stream->References());
}

// A client that forgets its subscriptions and its group: the counts show what it left.
TEST_P(GroupTest, CountsWhatACarelessClientLeaves) {
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(L"Group1", 1, group, handle));
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, group.As(&points));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCDataCallback, &point));
    auto sink = MakeSink<CallbackSink>();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(sink.Get(), &cookie));
    points.Reset();
    server_.Reset();
    const Outstanding leak = OutstandingOf(stats_.Get());
    EXPECT_EQ(2, leak.objects) << ReportOf(stats_.Get()); // the group and its connection point
    EXPECT_EQ(1, leak.sinks);
    point.Reset();
    group.Reset();
    EXPECT_EQ(0, OutstandingOf(stats_.Get()).objects) << ReportOf(stats_.Get());
    EXPECT_EQ(0, OutstandingOf(stats_.Get()).sinks);
    EXPECT_EQ(1, sink->References()) << "the group let the sink go when it went";
}

INSTANTIATE_TEST_SUITE_P(Simulated, GroupTest,
                         testing::Values(L"OpcSim.Test.Tree", L"OpcSim.Test.Tree.Local"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? "InProcess" : "LocalServer";
                         });

} // namespace
} // namespace opctest

namespace opctest {
namespace {

// A client in another program (the host) is checked through the report file instead.
TEST(ReportFileTest, TellsThatTheClientReleasedEverything) {
    const simtest::ReportDirectory reports(L"opcsim-report");
    const std::wstring file = reports.File(L"OpcSim.Test.Tree");
    {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(L"OpcSim.Test.Tree", IID_PPV_ARGS(&server)));
        ComPtr<IUnknown> group;
        OPCHANDLE handle = 0;
        DWORD revised = 0;
        ASSERT_EQ(S_OK, server->AddGroup(L"G", TRUE, 1000, 1, nullptr, nullptr, 0, &handle,
                                         &revised, IID_IOPCGroupStateMgt, group.GetAddressOf()));
    }
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str()));
    const std::string report = reports.Report(L"OpcSim.Test.Tree");
    EXPECT_NE(std::string::npos, report.find("report released")) << report;
    EXPECT_NE(std::string::npos, report.find("outstanding objects=0 references=0 sinks=0"))
        << report;
    EXPECT_NE(std::string::npos, report.find("calls IOPCServer::AddGroup=1")) << report;
}

} // namespace
} // namespace opctest

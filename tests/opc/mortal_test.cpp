// Local servers that end: one that asks its clients to shut down, lets their sinks go,
// disconnects them and leaves; one whose process dies in the middle of a call; one that answers
// late while its own thread goes on notifying. Each runs in a process of its own (a world of
// the test's own), so that its end disturbs no other test.
#include "com_helpers.h"
#include "report_directory.h"
#include "test_world.h"

#include <opcerror.h>

#include <gtest/gtest.h>

#include <sstream>

namespace opctest {
namespace {

// What a client meets when its server is gone. Under Wine a call into an object its server
// disconnected fails with RPC_S_UNKNOWN_IF rather than RPC_E_DISCONNECTED.
bool ServerGone(HRESULT hr) {
    return hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF) ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) || hr == RPC_E_SERVER_DIED ||
           hr == RPC_E_SERVER_DIED_DNE || hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE) ||
           hr == CO_E_OBJNOTCONNECTED;
}

std::string Hex(HRESULT hr) {
    std::ostringstream out;
    out << std::hex << "0x" << static_cast<unsigned long>(hr);
    return out.str();
}

struct Session {
    ComPtr<IOPCServer> server;
    ComPtr<IConnectionPoint> shutdownPoint, callbackPoint;
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD shutdownCookie = 0, callbackCookie = 0;
    ComPtr<ShutdownSink> shutdown = MakeSink<ShutdownSink>();
    ComPtr<CallbackSink> callback = MakeSink<CallbackSink>();
};

// Subscribes as an OPC client does; the steps that fail stay empty.
void Subscribe(Session& s) {
    ComPtr<IConnectionPointContainer> points;
    if (SUCCEEDED(s.server.As(&points)) &&
        SUCCEEDED(points->FindConnectionPoint(IID_IOPCShutdown, &s.shutdownPoint)))
        s.shutdownPoint->Advise(s.shutdown.Get(), &s.shutdownCookie);
    DWORD revised = 0;
    if (FAILED(s.server->AddGroup(L"Group1", TRUE, 1000, 1324, nullptr, nullptr, 0, &s.handle,
                                  &revised, IID_IOPCGroupStateMgt, s.group.GetAddressOf())))
        return;
    ComPtr<IConnectionPointContainer> groupPoints;
    if (SUCCEEDED(s.group.As(&groupPoints)) &&
        SUCCEEDED(groupPoints->FindConnectionPoint(IID_IOPCDataCallback, &s.callbackPoint)))
        s.callbackPoint->Advise(s.callback.Get(), &s.callbackCookie);
}

TEST(MortalTest, AServerThatShutsDownLetsItsClientsGoAndLeaves) {
    // The local server inherits the directory when COM starts it.
    simtest::ReportDirectory reports(L"opcsim-mortal");
    PrivateServer world(R"("activation": "local", "faults": {"shutdown": {"afterMs": 50,
        "reason": "Leaving.", "disconnect": true, "graceMs": 50}})");
    ASSERT_TRUE(world.Ready());
    Session s;
    ASSERT_EQ(S_OK, CreateServer(world.ProgId(), IID_PPV_ARGS(&s.server)));
    Subscribe(s);
    ASSERT_NE(0u, s.callbackCookie);
    ASSERT_TRUE(PumpUntil([&] { return s.shutdown->calls == 1; }));
    EXPECT_EQ(L"Leaving.", s.shutdown->reason);
    // It lets the sinks go, then cuts its objects off: the client's next call fails.
    ASSERT_TRUE(
        PumpUntil([&] { return s.shutdown->References() == 1 && s.callback->References() == 1; }));
    HRESULT hr = S_OK;
    ASSERT_TRUE(PumpUntil([&] {
        OPCSERVERSTATUS* status = nullptr;
        hr = s.server->GetStatus(&status);
        if (status) {
            CoTaskMemFree(status->szVendorInfo);
            CoTaskMemFree(status);
        }
        return FAILED(hr);
    }));
    EXPECT_TRUE(ServerGone(hr)) << Hex(hr);
    EXPECT_TRUE(ServerGone(s.callbackPoint->Unadvise(s.callbackCookie)));
    // Teardown through proxies of a server that is gone: nothing hangs.
    s.shutdownPoint.Reset();
    s.callbackPoint.Reset();
    s.group.Reset();
    s.server.Reset();
    std::string report;
    ASSERT_TRUE(PumpUntil([&] {
        report = reports.Report(world.ProgId());
        return report.find("report released") != std::string::npos;
    })) << report;
    EXPECT_NE(std::string::npos, report.find("outstanding objects=0 references=0 sinks=0"))
        << report;
    EXPECT_NE(std::string::npos, report.find("calls CoDisconnectObject=1")) << report;
}

// The process ends in the middle of the call, before it answers, as in a crash.
TEST(MortalTest, AProcessThatDiesInACallLeavesTheClientErrorsNotAHang) {
    PrivateServer world(R"("activation": "local",
        "faults": {"die": {"at": "IConnectionPoint::Advise", "call": 2}})");
    ASSERT_TRUE(world.Ready());
    Session s;
    ASSERT_EQ(S_OK, CreateServer(world.ProgId(), IID_PPV_ARGS(&s.server)));
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, s.server.As(&points));
    ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCShutdown, &s.shutdownPoint));
    EXPECT_EQ(S_OK, s.shutdownPoint->Advise(s.shutdown.Get(), &s.shutdownCookie));
    DWORD revised = 0;
    ASSERT_EQ(S_OK, s.server->AddGroup(L"Group1", TRUE, 1000, 1324, nullptr, nullptr, 0, &s.handle,
                                       &revised, IID_IOPCGroupStateMgt, s.group.GetAddressOf()));
    ComPtr<IConnectionPointContainer> groupPoints;
    ASSERT_EQ(S_OK, s.group.As(&groupPoints));
    ASSERT_EQ(S_OK, groupPoints->FindConnectionPoint(IID_IOPCDataCallback, &s.callbackPoint));
    const HRESULT advised = s.callbackPoint->Advise(s.callback.Get(), &s.callbackCookie);
    EXPECT_TRUE(ServerGone(advised)) << Hex(advised);
    const HRESULT unadvised = s.shutdownPoint->Unadvise(s.shutdownCookie);
    EXPECT_TRUE(ServerGone(unadvised)) << Hex(unadvised);
    const HRESULT removed = s.server->RemoveGroup(s.handle, FALSE);
    EXPECT_TRUE(ServerGone(removed)) << Hex(removed);
    groupPoints.Reset();
    points.Reset();
    s.shutdownPoint.Reset();
    s.callbackPoint.Reset();
    s.group.Reset();
    s.server.Reset();
}

// As on Windows after a crash, the class of a process that died is served again by a new one,
// whether it died on its main thread (an apartment server's call) or on another (a free-threaded
// server's call).
TEST(MortalTest, AClassWhoseProcessDiedStartsAgain) {
    for (const char* threading : {"Apartment", "Free"}) {
        SCOPED_TRACE(threading);
        PrivateServer world(std::string(R"("activation": "local", "threading": ")") + threading +
                            R"(", "faults": {"die": {"at": "IOPCServer::GetStatus"}})");
        ASSERT_TRUE(world.Ready());
        for (int life = 1; life <= 2; ++life) {
            ComPtr<IOPCServer> server;
            ASSERT_EQ(S_OK, CreateServer(world.ProgId(), IID_PPV_ARGS(&server))) << life;
            OPCSERVERSTATUS* status = nullptr;
            const HRESULT hr = server->GetStatus(&status);
            EXPECT_TRUE(ServerGone(hr)) << life << ": " << Hex(hr);
            EXPECT_EQ(nullptr, status);
        }
    }
}

// A call answered late; meanwhile the server's own thread keeps the client's sink busy, so
// the client takes notifications while it waits.
TEST(MortalTest, AServerThatAnswersLateStillNotifiesMeanwhile) {
    PrivateServer world(R"("activation": "local", "threading": "Free", "rates": [10],
        "notify": {"items": ["Status"]}, "faults": {"delays": {"IOPCServer::GetStatus": 300}})");
    ASSERT_TRUE(world.Ready());
    Session s;
    ASSERT_EQ(S_OK, CreateServer(world.ProgId(), IID_PPV_ARGS(&s.server)));
    Subscribe(s);
    ASSERT_NE(0u, s.callbackCookie);
    ASSERT_TRUE(PumpUntil([&] { return s.callback->dataChanges > 0; }));
    const int before = s.callback->dataChanges;
    const DWORD start = GetTickCount();
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, s.server->GetStatus(&status));
    const DWORD spent = GetTickCount() - start;
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    EXPECT_GE(spent, 250u) << "the answer came late";
    EXPECT_GE(s.callback->dataChanges - before, 3) << "notifications arrived while waiting";
    EXPECT_EQ(0, s.callback->foreignThreadCalls);
    EXPECT_EQ(S_OK, s.callbackPoint->Unadvise(s.callbackCookie));
    EXPECT_EQ(S_OK, s.shutdownPoint->Unadvise(s.shutdownCookie));
    s.server->RemoveGroup(s.handle, FALSE);
}

} // namespace
} // namespace opctest

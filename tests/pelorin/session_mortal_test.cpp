// The session against servers that end: a local server process that dies at each step of the
// session (every call of ConnectServer and DisconnectServer, and while the session is idle), one
// that shuts down and disconnects its clients, and one that answers late. The session must
// end normally every time: its teardown returns soon, reports nothing, drops its references and
// gives back the module lock.
#include "session_sim.h"

#include <olectl.h>

#include <sstream>

#include "fw/app.h"

namespace {

using Microsoft::WRL::ComPtr;

// No teardown may take longer than this, however its server ended (a hang would take for ever).
constexpr DWORD kTeardownBoundMs = 10000;

struct Death {
    const char* name;
    const char* method; // the call in which the process dies
    int call;           // its n-th call
    bool streams;       // the server offers no IOPCDataCallback
};

std::ostream& operator<<(std::ostream& out, const Death& death) {
    return out << death.name;
}

class ServerDeathTest : public SessionTest, public testing::WithParamInterface<Death> {};

TEST_P(ServerDeathTest, TheSessionEndsNormallyWhenTheServerDiesAtThisStep) {
    const Death& death = GetParam();
    std::ostringstream faults;
    faults << R"("faults": {"die": {"at": ")" << death.method << R"(", "call": )" << death.call
           << "}" << (death.streams ? R"(, "missing": ["IOPCDataCallback"])" : "") << "}";
    Serve(faults.str(), "local");
    const long locks = fw::ModuleLockCount();
    Connect();
    // Idle death: the session makes no such call; the test does, between connect and close.
    if (std::string(death.method) == "IOPCServer::GetStatus") {
        ASSERT_NE(nullptr, session_->Server());
        OPCSERVERSTATUS* status = nullptr;
        EXPECT_TRUE(FAILED(session_->Server()->GetStatus(&status)));
        EXPECT_EQ(nullptr, status);
    }
    const size_t connectMessages = messages_.size();
    EXPECT_LE(connectMessages, 1u) << "at most one message for a failed step";
    stats_.Reset(); // lived in the dead process

    const DWORD start = GetTickCount();
    session_->DisconnectServer();
    EXPECT_EQ(nullptr, session_->Server());
    EXPECT_EQ(nullptr, session_->Group());
    session_.reset();
    EXPECT_LT(GetTickCount() - start, kTeardownBoundMs);
    EXPECT_EQ(connectMessages, messages_.size()) << "nothing reported while tearing down";
    EXPECT_EQ(locks - 1, fw::ModuleLockCount());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ServerDeathTest,
    testing::Values(Death{"ShutdownConnectionPoint",
                          "IConnectionPointContainer::FindConnectionPoint", 1, false},
                    Death{"ShutdownAdvise", "IConnectionPoint::Advise", 1, false},
                    Death{"AddGroup", "IOPCServer::AddGroup", 1, false},
                    Death{"CallbackConnectionPoint",
                          "IConnectionPointContainer::FindConnectionPoint", 2, false},
                    Death{"CallbackAdvise", "IConnectionPoint::Advise", 2, false},
                    Death{"WriteCompleteDAdvise", "IDataObject::DAdvise", 1, true},
                    Death{"DataDAdvise", "IDataObject::DAdvise", 2, true},
                    Death{"Idle", "IOPCServer::GetStatus", 1, false},
                    Death{"ShutdownUnadvise", "IConnectionPoint::Unadvise", 1, false},
                    Death{"CallbackUnadvise", "IConnectionPoint::Unadvise", 2, false},
                    Death{"DataDUnadvise", "IDataObject::DUnadvise", 1, true},
                    Death{"WriteCompleteDUnadvise", "IDataObject::DUnadvise", 2, true},
                    Death{"RemoveGroup", "IOPCServer::RemoveGroup", 1, false}),
    [](const testing::TestParamInfo<Death>& info) { return info.param.name; });

// What the session reports when the server dies while it connects: the step's own text.
TEST_F(SessionTest, AServerDyingInAddGroupIsReportedAsTheAddGroupFailure) {
    Serve(R"("faults": {"die": {"at": "IOPCServer::AddGroup"}})", "local");
    Connect();
    ASSERT_EQ(1u, messages_.size());
    EXPECT_EQ(0u, messages_[0].rfind("AddGroup:  ", 0)) << messages_[0];
    EXPECT_NE(nullptr, session_->Server()) << "held, although its process is gone";
    EXPECT_EQ(nullptr, session_->Group());
    stats_.Reset();
}

// A server that asks to be let go, lets the session's sinks go itself, disconnects and leaves:
// the session keeps the request's reason, shows nothing, and tears down through proxies of a
// server that is gone.
TEST_F(SessionTest, AServerThatShutsDownAndDisconnectsLeavesNothingBehind) {
    for (const std::string& activation : {std::string("local"), std::string("inproc")}) {
        SCOPED_TRACE(activation);
        Serve(R"("threading": "Free", "faults": {"shutdown": {"afterMs": 50,
                 "reason": "Plant stop.", "disconnect": true, "graceMs": 50}})",
              activation);
        const long locks = fw::ModuleLockCount();
        Connect();
        ASSERT_TRUE(session_->CallbackMode());
        ASSERT_TRUE(PumpUntil([&] { return session_->ShutdownReason() == "Plant stop."; }));
        // Disconnected: the next call through the session's proxy fails.
        ASSERT_TRUE(PumpUntil([&] {
            OPCSERVERSTATUS* status = nullptr;
            const HRESULT hr = session_->Server()->GetStatus(&status);
            if (status) {
                CoTaskMemFree(status->szVendorInfo);
                CoTaskMemFree(status);
            }
            return FAILED(hr);
        }));
        if (activation == "inproc") {
            LONG objects = -1, references = -1, sinks = -1;
            ASSERT_EQ(S_OK, stats_->GetOutstanding(&objects, &references, &sinks));
            EXPECT_EQ(0, sinks) << "the server let the session's sinks go";
            EXPECT_EQ(1, CallsOf(stats_.Get(), L"CoDisconnectObject"));
        } else {
            stats_.Reset(); // its process has left
        }
        const DWORD start = GetTickCount();
        session_.reset();
        EXPECT_LT(GetTickCount() - start, kTeardownBoundMs);
        EXPECT_TRUE(messages_.empty());
        EXPECT_EQ(locks - 1, fw::ModuleLockCount());
        if (stats_) {
            LONG objects = -1, references = -1, sinks = -1;
            ASSERT_EQ(S_OK, stats_->GetOutstanding(&objects, &references, &sinks));
            EXPECT_EQ(0, objects);
            EXPECT_EQ(0, references);
            EXPECT_EQ(0, sinks);
        }
    }
}

// A server that answers late at every step of the session, while its own thread notifies:
// the session waits, takes the notifications meanwhile, and ends with nothing left.
TEST_F(SessionTest, ASlowServerIsWaitedForAndLeftClean) {
    Serve(R"("threading": "Free", "rates": [10], "notify": {},
             "faults": {"delays": {"*": 60}})",
          "local");
    const DWORD start = GetTickCount();
    Connect();
    EXPECT_GE(GetTickCount() - start, 5 * 60u) << "five late answers at least";
    EXPECT_TRUE(messages_.empty());
    ASSERT_TRUE(session_->CallbackMode());
    const long before = CallsOf(stats_.Get(), L"IOPCDataCallback::OnDataChange (delivered)");
    session_.reset();
    EXPECT_GT(CallsOf(stats_.Get(), L"IOPCDataCallback::OnDataChange (delivered)"), before)
        << "keep-alives arrived while the session waited for its teardown calls";
    LONG objects = -1, references = -1, sinks = -1;
    ASSERT_TRUE(PumpUntil([&] {
        return SUCCEEDED(stats_->GetOutstanding(&objects, &references, &sinks)) && objects == 0 &&
               sinks == 0;
    }));
    EXPECT_EQ(0, references);
    EXPECT_TRUE(messages_.empty());
}

} // namespace

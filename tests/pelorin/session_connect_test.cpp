// Connecting to simulated servers in this process: each outcome ConnectServer can leave, the
// texts it reports, local and remote node names, and what the server holds afterwards.
#include "session_sim.h"

#include <cctype>

#include "fw/app.h"
#include "message_catcher.h"

namespace {

const std::string kNoCallback = "\"faults\": {\"missing\": [\"IOPCDataCallback\"]}";
const std::string kDeviceText = "\"errors\": {\"0xC0041001\": \"Device is not responding.\"}";

TEST_F(SessionTest, CallbackModeWhenTheGroupOffersIOPCDataCallback) {
    Serve();
    const long locks = fw::ModuleLockCount();
    Connect();
    EXPECT_TRUE(messages_.empty());
    ASSERT_NE(nullptr, session_->Group());
    EXPECT_TRUE(session_->CallbackMode());
    EXPECT_NE(0u, session_->DataConnection());
    EXPECT_EQ(0u, session_->WriteCompleteConnection());
    EXPECT_NE(0u, session_->ShutdownConnection());
    EXPECT_EQ(0, CallsOf(stats_.Get(), L"IDataObject::DAdvise"));

    // The group as the server sees it.
    DWORD rate = 0, lcid = 7;
    BOOL active = FALSE;
    LPWSTR name = nullptr;
    LONG bias = 0;
    FLOAT deadband = -1;
    OPCHANDLE clientGroup = 0, serverGroup = 0;
    ASSERT_EQ(S_OK, session_->Group()->GetState(&rate, &active, &name, &bias, &deadband, &lcid,
                                                &clientGroup, &serverGroup));
    EXPECT_STREQ(L"Group1", name);
    CoTaskMemFree(name);
    EXPECT_EQ(1000u, rate);
    EXPECT_TRUE(active);
    EXPECT_EQ(0.0f, deadband);
    EXPECT_EQ(0u, lcid);
    EXPECT_EQ(1324u, clientGroup);
    EXPECT_EQ(session_->ServerGroupHandle(), serverGroup);

    CloseAndExpectNothingOutstanding();
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IOPCServer::RemoveGroup"));
    EXPECT_EQ(2, CallsOf(stats_.Get(), L"IConnectionPoint::Unadvise"));
    EXPECT_EQ(locks - 1, fw::ModuleLockCount());
}

TEST_F(SessionTest, StreamModeWithBothSubscriptions) {
    Serve(kNoCallback);
    Connect();
    EXPECT_TRUE(messages_.empty());
    EXPECT_FALSE(session_->CallbackMode());
    EXPECT_NE(0u, session_->WriteCompleteConnection());
    EXPECT_NE(0u, session_->DataConnection());
    CloseAndExpectNothingOutstanding();
    EXPECT_EQ(2, CallsOf(stats_.Get(), L"IDataObject::DUnadvise"));
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IOPCServer::RemoveGroup"));
}

TEST_F(SessionTest, StreamModeWithOnlyTheWriteCompleteSubscription) {
    Serve("\"faults\": {\"missing\": [\"IOPCDataCallback\"], "
          "\"results\": {\"DAdvise:OPCSTMFORMATDATATIME\": \"E_FAIL\"}}");
    Connect();
    EXPECT_EQ(std::vector<std::string>{"IDataObject::DAdvise:  " + SystemText(E_FAIL)}, messages_);
    EXPECT_NE(0u, session_->WriteCompleteConnection());
    EXPECT_EQ(0u, session_->DataConnection());
    CloseAndExpectNothingOutstanding();
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IDataObject::DUnadvise"));
}

TEST_F(SessionTest, NoNotificationsWithoutIDataObjectOrWhenTheFirstDAdviseFails) {
    Serve("\"faults\": {\"missing\": [\"IOPCDataCallback\", \"IDataObject\"]}");
    Connect();
    EXPECT_EQ(std::vector<std::string>{"IDataObject not supported by this server\nNo data "
                                       "notifications will take place"},
              messages_);
    ASSERT_NE(nullptr, session_->Group());
    CloseAndExpectNothingOutstanding();
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IOPCServer::RemoveGroup"));

    messages_.clear();
    Serve(kDeviceText + ", \"faults\": {\"missing\": [\"IOPCDataCallback\"], "
                        "\"results\": {\"DAdvise:OPCSTMFORMATWRITECOMPLETE\": \"0xC0041001\"}}");
    Connect();
    // A code the system has no text for is described by the server.
    EXPECT_EQ(std::vector<std::string>{"IDataObject::DAdvise:  Device is not responding."},
              messages_);
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IDataObject::DAdvise"));
    EXPECT_EQ(0u, session_->WriteCompleteConnection());
    EXPECT_EQ(0u, session_->DataConnection());
    CloseAndExpectNothingOutstanding();
    EXPECT_EQ(0, CallsOf(stats_.Get(), L"IDataObject::DUnadvise"));
}

TEST_F(SessionTest, ConnectedWithoutGroupWhenAddGroupFails) {
    Serve("\"faults\": {\"results\": {\"AddGroup\": \"0xC0041002\"}}");
    Connect();
    EXPECT_EQ(std::vector<std::string>{"AddGroup:  OPC Server failed GetErrorString."}, messages_);
    EXPECT_NE(nullptr, session_->Server());
    EXPECT_EQ(nullptr, session_->Group());
    // The shutdown subscription is withdrawn although there is no group to remove.
    CloseAndExpectNothingOutstanding();
    EXPECT_EQ(0, CallsOf(stats_.Get(), L"IOPCServer::RemoveGroup"));
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IConnectionPoint::Unadvise"));
}

TEST_F(SessionTest, NotConnectedWhenCreationOrIOPCServerFails) {
    Serve("\"faults\": {\"create\": \"0xC0041001\"}");
    Connect();
    ASSERT_EQ(1u, messages_.size());
    if (GetACP() == 936) {
        EXPECT_EQ(CreationPrefix(L"Session.Test") + L" Unknown Error.", FromAnsi(messages_[0]));
    }
    EXPECT_EQ(nullptr, session_->Server());

    messages_.clear();
    Serve("\"faults\": {\"missing\": [\"IOPCServer\"]}");
    Connect();
    EXPECT_EQ(std::vector<std::string>{"You may not have registered the OPC Proxy dll!\n"},
              messages_);
    EXPECT_EQ(nullptr, session_->Server());
}

TEST_F(SessionTest, SilentFailuresAndAnswersWithoutPointers) {
    Serve("\"faults\": {\"results\": {\"FindConnectionPoint:IOPCShutdown\": \"E_FAIL\"}}");
    Connect();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(0u, session_->ShutdownConnection());
    EXPECT_TRUE(session_->CallbackMode());
    CloseAndExpectNothingOutstanding();

    Serve("\"faults\": {\"nullOut\": [\"FindConnectionPoint\"]}");
    Connect();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(0u, session_->ShutdownConnection());
    EXPECT_FALSE(session_->CallbackMode()); // streams instead
    EXPECT_NE(0u, session_->DataConnection());
    CloseAndExpectNothingOutstanding();

    Serve("\"faults\": {\"nullOut\": [\"AddGroup\"]}");
    Connect();
    ASSERT_EQ(1u, messages_.size());
    EXPECT_EQ(0u, messages_[0].rfind("AddGroup:  ", 0)) << messages_[0];
    EXPECT_EQ(nullptr, session_->Group());
    CloseAndExpectNothingOutstanding();
}

TEST_F(SessionTest, LocalNodeNamesCreateTheServerHere) {
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    std::string otherCase = computer;
    for (char& c : otherCase)
        c = static_cast<char>(std::isupper(static_cast<unsigned char>(c))
                                  ? std::tolower(static_cast<unsigned char>(c))
                                  : std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& node :
         {std::string("LOCALHOST"), std::string("127.0.0.1"), otherCase}) {
        SCOPED_TRACE(node);
        Serve("", "inproc", node);
        Connect();
        EXPECT_TRUE(messages_.empty());
        EXPECT_TRUE(session_->CallbackMode());
        CloseAndExpectNothingOutstanding();
    }
}

TEST_F(SessionTest, AnotherNodeIsAskedThroughDcom) {
    // Under Wine remote activation never reaches another computer: the engineer is told.
    Serve("", "inproc", "PLANT-SERVER-7");
    Connect();
    ASSERT_EQ(1u, messages_.size());
    if (GetACP() == 936) {
        EXPECT_EQ(0u, FromAnsi(messages_[0]).rfind(CreationPrefix(L"Session.Test") + L" ", 0));
    }
    EXPECT_EQ(nullptr, session_->Server());
}

TEST_F(SessionTest, FailuresAreShownInAMessageBoxWithTheApplicationsTitle) {
    Serve("\"faults\": {\"missing\": [\"IOPCServer\"]}");
    session_->SetReporter(nullptr);
    MessageCatcher catcher;
    Connect();
    ASSERT_EQ(1u, catcher.Messages().size());
    EXPECT_EQ(L"You may not have registered the OPC Proxy dll!\n", catcher.Messages()[0].text);
    EXPECT_EQ(std::wstring(fw::AppTitle()), catcher.Messages()[0].caption);
}

} // namespace

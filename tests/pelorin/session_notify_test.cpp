// A connected session at work: error texts with a server at hand, notifications the server
// sends (data changes in both modes, a shutdown request), repeated disconnects, and the same
// across processes with the simulator's local server.
#include "session_sim.h"

#include "session/item_value_record.h"

namespace {

using Microsoft::WRL::ComPtr;

const std::string kNoCallback = "\"faults\": {\"missing\": [\"IOPCDataCallback\"]}";

// The server sends one text for the record; the record then holds it.
std::wstring SendText(IOPCServer* server, const wchar_t* text, WORD quality) {
    pelorin::ItemValueRecord record;
    ComPtr<IOpcSimControl> control = ControlOf(server);
    OPCHANDLE handle = record.Handle();
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text);
    HRESULT error = S_OK;
    if (!control || FAILED(control->SendDataChange(1, &handle, &value, &quality, &error)))
        return L"(not sent)";
    VariantClear(&value);
    if (record.Quality() != quality || record.Value().vt != VT_BSTR)
        return L"(not stored)";
    return record.Value().bstrVal;
}

TEST_F(SessionTest, ErrorTextsPreferTheSystemThenTheServerThenAFixedText) {
    Serve("\"errors\": {\"0xC0041001\": \"Device is not responding.\", \"E_FAIL\": \"own\"}");
    Connect();
    const std::string system = SystemText(E_FAIL);
    ASSERT_FALSE(system.empty()) << "the system should know E_FAIL";
    EXPECT_EQ("Write: " + system, session_->FormatOpcError("Write:", E_FAIL));
    EXPECT_EQ(0, CallsOf(stats_.Get(), L"IOPCServer::GetErrorString"));
    EXPECT_EQ("X:  Device is not responding.",
              session_->FormatOpcError("X: ", static_cast<HRESULT>(0xC0041001)));
    EXPECT_EQ("X:  OPC Server failed GetErrorString.",
              session_->FormatOpcError("X: ", static_cast<HRESULT>(0xC0041002)));
    CloseAndExpectNothingOutstanding();

    Serve("\"errors\": {\"0xC0041001\": \"Device\"}, \"faults\": {\"nullOut\": "
          "[\"GetErrorString\"]}");
    Connect();
    EXPECT_EQ("X:  OPC Server failed GetErrorString.",
              session_->FormatOpcError("X: ", static_cast<HRESULT>(0xC0041001)));
    session_->DisconnectServer(); // with no server left there is nobody to ask
    EXPECT_EQ("X:  Unknown Error.",
              session_->FormatOpcError("X: ", static_cast<HRESULT>(0xC0041001)));
    CloseAndExpectNothingOutstanding();
}

TEST_F(SessionTest, AShutdownRequestIsKeptAndChangesNothing) {
    Serve();
    Connect();
    ComPtr<IOpcSimControl> control = ControlOf(session_->Server());
    ASSERT_TRUE(control);
    ASSERT_EQ(S_OK, control->RequestShutdown(L"Plant stop 停机", FALSE));
    control.Reset();
    if (GetACP() == 936) {
        EXPECT_EQ(L"Plant stop 停机", FromAnsi(session_->ShutdownReason()));
    }
    EXPECT_NE(nullptr, session_->Group());
    EXPECT_TRUE(messages_.empty());
    CloseAndExpectNothingOutstanding();
}

TEST_F(SessionTest, DataChangesReachTheirRecordsInBothModes) {
    for (const std::string& extra : {std::string(), kNoCallback}) {
        SCOPED_TRACE(extra.empty() ? "callback mode" : "stream mode");
        Serve(extra);
        Connect();
        EXPECT_EQ(L"运行中", SendText(session_->Server(), L"运行中", 0xC0));
        CloseAndExpectNothingOutstanding();
    }
}

TEST_F(SessionTest, DisconnectingAgainChangesNothing) {
    Serve();
    Connect();
    session_->DisconnectServer();
    EXPECT_EQ(nullptr, session_->Server());
    EXPECT_EQ(nullptr, session_->Group());
    session_->DisconnectServer();
    session_->DisconnectServer();
    CloseAndExpectNothingOutstanding();
    EXPECT_EQ(1, CallsOf(stats_.Get(), L"IOPCServer::RemoveGroup"));
    EXPECT_EQ(2, CallsOf(stats_.Get(), L"IConnectionPoint::Unadvise"));
}

TEST_F(SessionTest, ALocalServerInCallbackAndInStreamMode) {
    for (const std::string& extra : {std::string(), kNoCallback}) {
        SCOPED_TRACE(extra.empty() ? "callback mode" : "stream mode");
        Serve(extra, "local");
        Connect();
        EXPECT_TRUE(messages_.empty());
        EXPECT_EQ(extra.empty(), session_->CallbackMode());
        EXPECT_EQ(L"across", SendText(session_->Server(), L"across", 0x40));
        ComPtr<IOpcSimControl> control = ControlOf(session_->Server());
        ASSERT_TRUE(control);
        ASSERT_EQ(S_OK, control->RequestShutdown(L"going down", FALSE));
        control.Reset();
        EXPECT_EQ("going down", session_->ShutdownReason());
        CloseAndExpectNothingOutstanding();
        EXPECT_EQ(1, CallsOf(stats_.Get(), L"IOPCServer::RemoveGroup"));
    }
}

} // namespace

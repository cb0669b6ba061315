#include "session_sim.h"

std::wstring FromAnsi(const std::string& text) {
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string SystemText(HRESULT code) {
    char text[260] = {};
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    return std::string(text, n);
}

std::wstring CreationPrefix(const std::wstring& serverName) {
    return L"连接OPC server 发生错误'" + serverName + L"' \nCoCreateInstance: ";
}

const pelorin::StreamFormats& Formats() {
    static const pelorin::StreamFormats formats = [] {
        pelorin::StreamFormats f;
        f.data = RegisterClipboardFormatA("OPCSTMFORMATDATA");
        f.dataTime = RegisterClipboardFormatA("OPCSTMFORMATDATATIME");
        f.writeComplete = RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE");
        return f;
    }();
    return formats;
}

void SessionTest::TearDown() {
    session_.reset();
    stats_.Reset();
    server_.reset();
}

void SessionTest::Serve(const std::string& extra, const std::string& activation,
                        const std::string& node) {
    TearDown(); // one server at a time: the previous one goes first
    // A class and ProgID of its own, so that tests running at the same time never share one.
    server_ = std::make_unique<simtest::PrivateServer>(
        "SessionTest", "\"activation\": \"" + activation +
                           "\", \"space\": [{\"item\": \"Heartbeat\", \"type\": \"I4\"}]" +
                           (extra.empty() ? "" : ", " + extra));
    ASSERT_TRUE(server_->Ready()) << server_->Error();
    clsid_ = server_->ClassId();
    node_ = node;
    NewSession();
}

void SessionTest::NewSession() {
    session_.reset();
    session_ = std::make_unique<pelorin::OpcSession>(Formats());
    session_->SetServer(node_, "Session.Test", clsid_);
    session_->SetReporter([this](const std::string& text) { messages_.push_back(text); });
}

void SessionTest::Connect() {
    session_->ConnectServer();
    stats_ = simtest::StatsOf(session_->Server());
}

void SessionTest::CloseAndExpectNothingOutstanding() {
    ASSERT_TRUE(stats_) << "the session never held the server";
    session_.reset();
    LONG objects = -1, references = -1, sinks = -1;
    ASSERT_EQ(S_OK, stats_->GetOutstanding(&objects, &references, &sinks));
    EXPECT_EQ(0, objects);
    EXPECT_EQ(0, references);
    EXPECT_EQ(0, sinks);
}

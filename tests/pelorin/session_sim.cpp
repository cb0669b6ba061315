#include "session_sim.h"

#include "world_file.h"

#include "fw/resources.h"

using Microsoft::WRL::ComPtr;

namespace {

// COM for the test thread and the plug-in's string table (linked into this program) in the
// resource chain, as the plug-in has both when the host loads it.
class SessionEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(fw::InitExtensionModule(extension_, GetModuleHandleW(nullptr)));
        fw::AddResourceModule(extension_);
    }
    void TearDown() override {
        fw::TermExtensionModule(extension_);
        OleUninitialize();
    }

private:
    fw::ExtensionModule extension_;
};
const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SessionEnvironment);

} // namespace

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

long Calls(IOpcSimStats* stats, const wchar_t* method) {
    LONG count = -1;
    if (stats)
        stats->GetCallCount(method, &count);
    return count;
}

ComPtr<IOpcSimControl> ControlOf(IOPCServer* server) {
    ComPtr<IOpcSimControl> control;
    if (server)
        server->QueryInterface(IID_IOpcSimControl,
                               reinterpret_cast<void**>(control.GetAddressOf()));
    return control;
}

SessionTest::SessionTest() = default;
SessionTest::~SessionTest() = default;

void SessionTest::TearDown() {
    session_.reset();
    stats_.Reset();
    world_.reset();
}

void SessionTest::Serve(const std::string& extra, const std::string& activation,
                        const std::string& node) {
    TearDown(); // one world at a time: the previous one goes first
    // A class and ProgID of its own, so that tests running at the same time never share one.
    CLSID clsid;
    ASSERT_EQ(S_OK, CoCreateGuid(&clsid));
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    const std::string id(text, text + wcslen(text));
    world_ = std::make_unique<SimulatedWorld>(
        "{\"servers\": [{\"progId\": \"SessionTest." + id.substr(1, 8) + "\", \"clsid\": \"" + id +
        "\", \"activation\": \"" + activation +
        "\", \"space\": [{\"item\": \"Heartbeat\", \"type\": \"I4\"}]" +
        (extra.empty() ? "" : ", " + extra) + "}]}");
    ASSERT_TRUE(world_->Ready()) << "opcsim-register could not register the world";
    clsid_ = clsid;
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
    ComPtr<IOpcSimControl> control = ControlOf(session_->Server());
    if (control)
        control->GetStats(stats_.ReleaseAndGetAddressOf());
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

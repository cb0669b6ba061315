#include "session_sim.h"

#include <cstdio>

#include "class_factory.h"
#include "config.h"
#include "fw/resources.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kClsid[] = "{5E551001-0C0D-4E6A-9E51-0A55E5510001}";

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

bool SetKey(const std::wstring& path, const std::wstring& value) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc =
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

} // namespace

class SimulatedWorld {
public:
    explicit SimulatedWorld(const std::string& json) {
        auto world = opcsim::ParseWorld(json, error_);
        if (!world)
            return;
        for (const auto& server : world->servers) {
            if (server->activation == opcsim::Activation::InProcess) {
                ComPtr<IUnknown> factory;
                DWORD cookie = 0;
                if (FAILED(opcsim::CreateClassFactory(
                        server, false, IID_IUnknown,
                        reinterpret_cast<void**>(factory.GetAddressOf()))) ||
                    FAILED(CoRegisterClassObject(server->clsid, factory.Get(), CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &cookie))) {
                    error_ = "cannot register the class object";
                    return;
                }
                cookies_.push_back(cookie);
            } else if (!RegisterLocal(*server, json)) {
                return;
            }
        }
        ready_ = true;
    }
    ~SimulatedWorld() {
        for (DWORD cookie : cookies_)
            CoRevokeClassObject(cookie);
        for (const std::wstring& key : keys_)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        if (!file_.empty())
            DeleteFileW(file_.c_str());
    }
    bool Ready() const { return ready_; }
    const std::string& Error() const { return error_; }

private:
    // COM starts the simulator's EXE with the world's file, as its registration would.
    bool RegisterLocal(const opcsim::ServerConfig& server, const std::string& json) {
        wchar_t path[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, path);
        file_ = std::wstring(path) + L"session-world-" + std::to_wstring(GetCurrentProcessId()) +
                L".json";
        FILE* out = _wfopen(file_.c_str(), L"wb");
        if (!out || std::fwrite(json.data(), 1, json.size(), out) != json.size()) {
            if (out)
                std::fclose(out);
            error_ = "cannot write the world file";
            return false;
        }
        std::fclose(out);
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring bin = path;
        bin.erase(bin.find_last_of(L"\\/") + 1);
        const std::wstring key = L"CLSID\\" + opcsim::GuidText(server.clsid);
        keys_.push_back(key);
        if (!SetKey(key, server.name) ||
            !SetKey(key + L"\\LocalServer32",
                    L"\"" + bin + L"opcsimsrv.exe\" /config \"" + file_ + L"\"")) {
            error_ = "cannot write the class keys";
            return false;
        }
        return true;
    }

    bool ready_ = false;
    std::string error_;
    std::vector<DWORD> cookies_;
    std::vector<std::wstring> keys_;
    std::wstring file_;
};

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
    TearDown(); // one world at a time: the previous class objects go first
    world_ = std::make_unique<SimulatedWorld>(
        std::string("{\"servers\": [{\"progId\": \"Session.Test\", \"clsid\": \"") + kClsid +
        "\", \"activation\": \"" + activation +
        "\", \"space\": [{\"item\": \"Heartbeat\", \"type\": \"I4\"}]" +
        (extra.empty() ? "" : ", " + extra) + "}]}");
    ASSERT_TRUE(world_->Ready()) << world_->Error();
    CLSID clsid;
    const std::wstring text(kClsid, kClsid + sizeof kClsid - 1);
    ASSERT_EQ(S_OK, CLSIDFromString(text.c_str(), &clsid));
    session_ = std::make_unique<pelorin::OpcSession>(Formats());
    session_->SetServer(node, "Session.Test", clsid);
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

// A session under test against a simulated OPC server of its own. The session's reports are
// collected instead of shown, and after the session is gone the server's statistics tell what
// it still holds.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "opcsimctl.h"
#include "pump.h"
#include "session/opc_session.h"
#include "sim_server.h"
#include "sim_world.h"

using simtest::CallsOf;
using simtest::ControlOf;
using simtest::PumpUntil;

// The texts the session reports are ANSI; tests compare them as UTF-16.
std::wstring FromAnsi(const std::string& text);
std::string SystemText(HRESULT code); // "" when the system has no text
// The formatted string 3 and "CoCreateInstance: " for a server name.
std::wstring CreationPrefix(const std::wstring& serverName);
const pelorin::StreamFormats& Formats();

class SessionTest : public ::testing::Test {
protected:
    void TearDown() override;
    // A world of one server ("inproc" or "local") with more JSON members in `extra`
    // ("faults": {...}, "errors": {...}), and a session for it on `node`.
    void Serve(const std::string& extra = "", const std::string& activation = "inproc",
               const std::string& node = "");
    void Connect();
    // A new session for the same server (the previous one goes first).
    void NewSession();
    // Destroys the session and expects the server to hold nothing of ours afterwards.
    void CloseAndExpectNothingOutstanding();

    std::unique_ptr<simtest::PrivateServer> server_;
    std::unique_ptr<pelorin::OpcSession> session_;
    Microsoft::WRL::ComPtr<IOpcSimStats> stats_;
    std::vector<std::string> messages_;
    CLSID clsid_ = {};
    std::string node_;
};

// The item link dialog's connection to one OPC Data Access server: the server object (created on
// this computer or through DCOM on another), its shutdown notice, the group "Group1" and the
// group's data notifications, by IOPCDataCallback where the server offers it and otherwise by
// the OPC Data Access 1.0 streams. Failures are told to the engineer in message boxes and leave
// a state the dialog can still use.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <functional>
#include <string>

#include "entry/module_state.h"
#include "opcda.h"

namespace pelorin {

class DataCallbackSink;
class ShutdownSink;
class StreamAdviseSink;

class OpcSession {
public:
    // Creates the three sinks (one reference each), locks the module and sets the process's COM
    // security so that servers on other computers may call the sinks back.
    // `formats`: the ids registered for the stream formats (two of them are subscribed).
    explicit OpcSession(const StreamFormats& formats);
    ~OpcSession();
    OpcSession(const OpcSession&) = delete;
    OpcSession& operator=(const OpcSession&) = delete;

    // What to connect to: node (empty: this computer), the server's name for texts, its class.
    void SetServer(const std::string& node, const std::string& serverName, const GUID& clsid);
    // The window that owns the message boxes (the item link dialog).
    void SetOwner(HWND owner) { owner_ = owner; }
    // Where the texts of failures go; by default a message box on the owner. Tests catch them.
    void SetReporter(std::function<void(const std::string&)> reporter);

    // Connects once; the outcome stays in the fields below.
    void ConnectServer();
    // Withdraws the subscriptions, removes the group and lets the server go. Any number of times.
    void DisconnectServer();
    std::string FormatOpcError(const std::string& prefix, HRESULT error) const;
    void ReportOpcError(const std::string& prefix, HRESULT error);

    // End of life, in this order: module unlocked, disconnected when a server is still held, the
    // sinks let go; ReleaseInterfaces then drops group and server if anything still holds them.
    // The destructor does both; an owner calls them itself to place its own teardown between.
    void Close();
    void ReleaseInterfaces();

    IOPCServer* Server() const { return server_.Get(); }
    IOPCGroupStateMgt* Group() const { return group_.Get(); }
    DWORD DataConnection() const { return dataConnection_; }
    DWORD WriteCompleteConnection() const { return writeCompleteConnection_; }
    DWORD ShutdownConnection() const { return shutdownConnection_; }
    OPCHANDLE ServerGroupHandle() const { return serverGroupHandle_; }
    bool CallbackMode() const { return callbackMode_ != FALSE; }
    // The reason of the server's last shutdown request (empty when none came).
    std::string ShutdownReason() const;

private:
    bool CreateServerObject(Microsoft::WRL::ComPtr<IUnknown>& created);
    void SubscribeShutdown();
    bool SubscribeCallback();
    void SubscribeStreams();
    void WithdrawAndRemoveGroup();
    void ReportText(const std::string& text);

    std::string nodeName_;
    std::string serverName_;
    Microsoft::WRL::ComPtr<IOPCServer> server_;
    Microsoft::WRL::ComPtr<IOPCGroupStateMgt> group_;
    DWORD dataConnection_ = 0;
    DWORD writeCompleteConnection_ = 0;
    OPCHANDLE serverGroupHandle_ = 0;
    Microsoft::WRL::ComPtr<StreamAdviseSink> streamSink_;
    Microsoft::WRL::ComPtr<DataCallbackSink> callbackSink_;
    Microsoft::WRL::ComPtr<ShutdownSink> shutdownSink_;
    DWORD shutdownConnection_ = 0;
    BOOL callbackMode_ = FALSE;
    GUID serverClassId_ = {};
    const std::string groupName_ = "Group1"; // never the group name of the device record

    StreamFormats formats_;
    HWND owner_ = nullptr;
    std::function<void(const std::string&)> reporter_;
    bool moduleLocked_ = false;
};

} // namespace pelorin

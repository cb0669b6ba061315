// The item link dialog: links OPC items of the configured server to the device's tags. This is
// its shell: it takes the device record and closes with OK or Cancel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "entry/device_record.h"
#include "fw/dialog.h"
#include "session/opc_session.h"

namespace pelorin {

class ItemLinkDialog : public fw::Dialog {
public:
    // Creates the OPC session with its three sinks (not yet connected).
    explicit ItemLinkDialog(HWND parent = nullptr);
    ~ItemLinkDialog() override;

    // Keeps the record and copies the server's class id, node and server name from it. Must be
    // called before the dialog runs.
    void SetDeviceRecord(DeviceRecord* record);

protected:
    BOOL OnInitDialog() override; // connects to the server
    void OnOK() override;         // disconnects, then closes
    void OnCancel() override;     // disconnects, then closes

private:
    DeviceRecord* record_ = nullptr;
    GUID serverClassId_ = {};
    std::string nodeName_;
    std::string serverName_;
    int32_t dataType_ = 0;
    int32_t readAttribute_ = -1;
    int32_t badValueMode_ = -1;
    int32_t showValue_ = 0;
    std::string itemId_;
    OpcSession session_;
};

}  // namespace pelorin

// The item link dialog: links OPC items of the configured server to the device's tags. This is
// its shell: it takes the device record and closes with OK or Cancel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "entry/device_record.h"
#include "fw/dialog.h"

namespace pelorin {

class ItemLinkDialog : public fw::Dialog {
public:
    explicit ItemLinkDialog(HWND parent = nullptr);

    // Keeps the record and copies the server's class id, node and server name from it. Must be
    // called before the dialog runs.
    void SetDeviceRecord(DeviceRecord* record);

    const std::string& NodeName() const { return nodeName_; }
    const std::string& ServerName() const { return serverName_; }
    const GUID& ServerClassId() const { return serverClassId_; }

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
};

}  // namespace pelorin

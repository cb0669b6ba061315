// The values the server configuration step edits, read from the DeviceRecord at entry (with the
// entry defaults) and written back to it by StoreToRecord.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "entry/device_record.h"

namespace pelorin {

extern const GUID kCatidOpcDaServer10;
extern const GUID kCatidOpcDaServer20;

struct ServerSettings {
    std::string node;
    std::string server;
    std::string group;
    int32_t version = 0;
    uint32_t refresh = 0;
    int32_t mode = 0;
    uint32_t reconnect = 0;
    GUID clsid = {};
    GUID category = {};
};

// Reads node, server, group (each up to its NUL, never beyond its field), version, refresh,
// mode, reconnect and CLSID. The category is not read.
ServerSettings ReadRecord(const DeviceRecord& record);

// Refresh below 10 becomes 100, reconnect below 10 becomes 60 (unsigned), version 0 or negative
// becomes 2 (signed), an empty group becomes "Group1"; in this order.
void ApplyEntryDefaults(ServerSettings& settings);

// Writes the three texts (NUL-terminated when shorter than the field, no NUL when they fill it),
// then version, refresh, mode and reconnect, then CLSID and category. Touches nothing else.
// Texts longer than their field are refused (nothing written): validation comes first.
bool StoreToRecord(const ServerSettings& settings, DeviceRecord& record);

// A text field's bytes up to the first NUL or the field's end.
std::string ReadTextField(const char* field, size_t width);

}  // namespace pelorin

// The host's DeviceRecord as the plug-in sees it: fixed offsets, texts in the ANSI code page,
// integers little-endian, GUIDs in the COM layout. Only the fields below are ever touched; the
// host owns every other byte (0x88 and the rest after 0xB4 but the tag database pointer).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace pelorin {

struct DeviceRecord {
    char node[32];                   // computer running the OPC server; empty: this computer
    char server[80];                 // the server's ProgID
    char group[16];                  // OPC group name
    int32_t version;                 // 1: OPC DA 1.0, 2: OPC DA 2.0
    uint32_t refresh;                // ms
    unsigned char hostField88[4];    // the host's; never read or written
    int32_t mode;                    // 1: synchronous, else asynchronous
    uint32_t reconnect;              // s
    GUID clsid;                      // the chosen server's class id
    GUID category;                   // component category of the chosen OPC version
    unsigned char hostOwned[0x1C8 - 0xB4];
    void* tagDatabase;               // the host tag database (a 4-byte pointer)
};

static_assert(offsetof(DeviceRecord, node) == 0x00, "node");
static_assert(offsetof(DeviceRecord, server) == 0x20, "server");
static_assert(offsetof(DeviceRecord, group) == 0x70, "group");
static_assert(offsetof(DeviceRecord, version) == 0x80, "version");
static_assert(offsetof(DeviceRecord, refresh) == 0x84, "refresh");
static_assert(offsetof(DeviceRecord, hostField88) == 0x88, "host field");
static_assert(offsetof(DeviceRecord, mode) == 0x8C, "mode");
static_assert(offsetof(DeviceRecord, reconnect) == 0x90, "reconnect");
static_assert(offsetof(DeviceRecord, clsid) == 0x94, "clsid");
static_assert(offsetof(DeviceRecord, category) == 0xA4, "category");
static_assert(offsetof(DeviceRecord, tagDatabase) == 456, "host tag database pointer");
static_assert(sizeof(void*) == 4, "the host is 32-bit: the record holds a 4-byte pointer");

}  // namespace pelorin

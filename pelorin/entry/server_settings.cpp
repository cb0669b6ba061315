#include "entry/server_settings.h"

#include <cstring>

namespace pelorin {

const GUID kCatidOpcDaServer10 = {0x63D5F430, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
const GUID kCatidOpcDaServer20 = {0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};

namespace {

void WriteTextField(char* field, size_t width, const std::string& text) {
    std::memcpy(field, text.data(), text.size());
    if (text.size() < width)
        field[text.size()] = '\0';
}

}  // namespace

std::string ReadTextField(const char* field, size_t width) {
    size_t length = 0;
    while (length < width && field[length] != '\0')
        ++length;
    return std::string(field, length);
}

ServerSettings ReadRecord(const DeviceRecord& record) {
    ServerSettings settings;
    settings.node = ReadTextField(record.node, sizeof record.node);
    settings.server = ReadTextField(record.server, sizeof record.server);
    settings.group = ReadTextField(record.group, sizeof record.group);
    std::memcpy(&settings.version, &record.version, sizeof settings.version);
    std::memcpy(&settings.refresh, &record.refresh, sizeof settings.refresh);
    std::memcpy(&settings.mode, &record.mode, sizeof settings.mode);
    std::memcpy(&settings.reconnect, &record.reconnect, sizeof settings.reconnect);
    std::memcpy(&settings.clsid, &record.clsid, sizeof settings.clsid);
    return settings;
}

void ApplyEntryDefaults(ServerSettings& settings) {
    if (settings.refresh < 10u)
        settings.refresh = 100;
    if (settings.reconnect < 10u)
        settings.reconnect = 60;
    if (settings.version <= 0)
        settings.version = 2;
    if (settings.group.empty())
        settings.group = "Group1";
}

bool StoreToRecord(const ServerSettings& settings, DeviceRecord& record) {
    if (settings.node.size() > sizeof record.node || settings.server.size() > sizeof record.server ||
        settings.group.size() > sizeof record.group)
        return false;
    WriteTextField(record.node, sizeof record.node, settings.node);
    WriteTextField(record.server, sizeof record.server, settings.server);
    WriteTextField(record.group, sizeof record.group, settings.group);
    std::memcpy(&record.version, &settings.version, sizeof record.version);
    std::memcpy(&record.refresh, &settings.refresh, sizeof record.refresh);
    std::memcpy(&record.mode, &settings.mode, sizeof record.mode);
    std::memcpy(&record.reconnect, &settings.reconnect, sizeof record.reconnect);
    std::memcpy(&record.clsid, &settings.clsid, sizeof record.clsid);
    std::memcpy(&record.category, &settings.category, sizeof record.category);
    return true;
}

}  // namespace pelorin

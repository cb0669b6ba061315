// The server configuration step: node, server, version, reconnect time, group, refresh time and
// mode of an OPC device, with the discovery of nodes and servers and the BatchItem button that
// opens the item link dialog.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/server_entry.h"
#include "entry/device_record.h"
#include "entry/server_settings.h"
#include "fw/dialog.h"

namespace pelorin {

class ServerConfigDialog : public fw::Dialog {
public:
    // `record` is kept for StoreToRecord and BatchItem; `settings` are the record's values with
    // the entry defaults applied.
    ServerConfigDialog(DeviceRecord* record, const ServerSettings& settings);
    ~ServerConfigDialog() override;

    // Validates the controls and writes the values into the record; false: nothing written.
    bool StoreToRecord();

    // Discovery (filled on this computer when node is null or empty).
    bool EnumerateNetworkNodes(const void* container);
    int EnumerateBrowserServers(const char* node);
    int EnumerateRegistryServers(const char* node);
    int AddServerEntry(const wchar_t* progId, const GUID& clsid);
    void ReportComError(const char* prefix, HRESULT code);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    FW_DECLARE_COMMANDS()

private:
    enum class CategoryChange { Keep, Version1, Version2 };

    void OnNodeDropDown();
    void OnServerSelChange();
    void OnRefresh();
    void OnVersion1();
    void OnVersion2();
    void OnSynchronous();
    void OnAsynchronous();
    void OnBatchItem();
    void OnBack();

    void RefreshServerList(CategoryChange change);
    int BrowserFallback(const char* node);
    void ClearServerList();

    DeviceRecord* record_;
    fw::String node_;
    fw::String server_;
    fw::String group_;
    uint32_t refresh_;
    uint32_t reconnect_;
    int32_t version_;
    int32_t mode_;
    GUID clsid_;
    GUID category_;
    std::vector<std::unique_ptr<ServerEntry>> servers_;
    bool nodeListFilled_ = false;
};

}  // namespace pelorin

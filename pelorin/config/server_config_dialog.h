// The server configuration step: node, server, version, reconnect time, group, refresh time and
// mode of an OPC device, with the lists of nodes and servers that the discovery finds and the
// BatchItem button that opens the item link dialog.
#pragma once

#include <string>

#include "config/server_discovery.h"
#include "entry/device_record.h"
#include "entry/server_settings.h"
#include "fw/dialog.h"

namespace pelorin {

class ServerConfigDialog : public fw::Dialog, private DiscoveryReporter {
public:
    // The dialog result of the Back button (OnCfgIoDev answers it with 1: back one step).
    static constexpr INT_PTR kBackResult = 100;

    // `record` is kept for StoreToRecord and BatchItem; `settings` are the record's values with
    // the entry defaults applied.
    ServerConfigDialog(DeviceRecord* record, const ServerSettings& settings);
    ~ServerConfigDialog() override;

    // Validates the controls and writes the values into the record; false: nothing written.
    bool StoreToRecord();

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
    // Rebuilds the server box from the discovery's listing of `node` (null: this computer).
    void ListServers(const char* node);
    void ShowServerEntry(const ServerEntry& entry);
    void ClearServerList();
    void Report(const std::string& text) override; // a discovery failure: a message box

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
    ServerDiscovery discovery_; // owns the server list; the box's items point into it
    bool nodeListFilled_ = false;
};

} // namespace pelorin

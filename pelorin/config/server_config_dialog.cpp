#include "config/server_config_dialog.h"

#include "fw/app.h"
#include "fw/exchange.h"
#include "itemlink/item_link_dialog.h"
#include "resources/resource.h"

namespace pelorin {
namespace {

// The texts may be as long as their record fields.
constexpr size_t kNodeBytes = sizeof(DeviceRecord::node);
constexpr size_t kServerBytes = sizeof(DeviceRecord::server);
constexpr size_t kGroupBytes = sizeof(DeviceRecord::group);
constexpr uint32_t kMinRefresh = 10;
constexpr uint32_t kMaxRefresh = 1000000;
constexpr WPARAM kServerDropWidth = 200;

}  // namespace

FW_BEGIN_COMMANDS(ServerConfigDialog)
FW_ON_COMMAND(IDC_NODE, CBN_DROPDOWN, OnNodeDropDown)
FW_ON_COMMAND(IDC_SERVER, CBN_SELCHANGE, OnServerSelChange)
FW_ON_COMMAND(IDC_REFRESH, BN_CLICKED, OnRefresh)
FW_ON_COMMAND(IDC_OPC10, BN_CLICKED, OnVersion1)
FW_ON_COMMAND(IDC_OPC20, BN_CLICKED, OnVersion2)
FW_ON_COMMAND(IDC_SYNCHRONOUS, BN_CLICKED, OnSynchronous)
FW_ON_COMMAND(IDC_ASYNCHRONOUS, BN_CLICKED, OnAsynchronous)
FW_ON_COMMAND(IDC_BATCH_ITEM, BN_CLICKED, OnBatchItem)
FW_ON_COMMAND(IDC_BACK, BN_CLICKED, OnBack)
FW_END_COMMANDS()

ServerConfigDialog::ServerConfigDialog(DeviceRecord* record, const ServerSettings& settings)
    : fw::Dialog(IDD_SERVER_CONFIG, nullptr), record_(record), node_(settings.node),
      server_(settings.server), group_(settings.group), refresh_(settings.refresh),
      reconnect_(settings.reconnect), version_(settings.version), mode_(settings.mode),
      clsid_(settings.clsid), category_(settings.category), discovery_(*this) {}

ServerConfigDialog::~ServerConfigDialog() = default;

void ServerConfigDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.ComboText(IDC_NODE, node_);
    dx.MaxBytes(node_, kNodeBytes);
    dx.ComboText(IDC_SERVER, server_);
    dx.MaxBytes(server_, kServerBytes);
    dx.UInt(IDC_REFRESH_TIME, refresh_);
    dx.Range(refresh_, kMinRefresh, kMaxRefresh);
    dx.UInt(IDC_RECONNECT, reconnect_);
    dx.Text(IDC_GROUP, group_);
    dx.MaxBytes(group_, kGroupBytes);
    dx.LimitTyping(kGroupBytes);
}

BOOL ServerConfigDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    CheckRadioButton(IDC_OPC10, IDC_OPC20, version_ == 2 ? IDC_OPC20 : IDC_OPC10);
    CheckRadioButton(IDC_SYNCHRONOUS, IDC_ASYNCHRONOUS,
                     mode_ == 1 ? IDC_SYNCHRONOUS : IDC_ASYNCHRONOUS);
    const fw::String keptServer = server_;
    // The first listing is for OPC 2.0 servers whatever the version; a version button changes it.
    category_ = kCatidOpcDaServer20;
    // Servers of this computer, even when the node names another one.
    ListServers(nullptr);
    if (!keptServer.empty()) {
        server_ = keptServer;
        SetWindowTextA(Item(IDC_SERVER), keptServer.c_str());
    } else {
        SendItemMessage(IDC_SERVER, CB_SETCURSEL, 0);
    }
    SendItemMessage(IDC_SERVER, CB_SETDROPPEDWIDTH, kServerDropWidth);
    return TRUE;  // the focus goes to the node box, first in tab order
}

bool ServerConfigDialog::StoreToRecord() {
    if (!UpdateData(true))
        return false;
    ServerSettings settings;
    settings.node = node_.str();
    settings.server = server_.str();
    settings.group = group_.str();
    settings.version = version_;
    settings.refresh = refresh_;
    settings.mode = mode_;
    settings.reconnect = reconnect_;
    settings.clsid = clsid_;
    settings.category = category_;
    return pelorin::StoreToRecord(settings, *record_);
}

void ServerConfigDialog::OnOK() {
    if (StoreToRecord())
        EndDialog(IDOK);
}

void ServerConfigDialog::OnBack() { EndDialog(kBackResult); }

void ServerConfigDialog::OnSynchronous() { mode_ = 1; }

void ServerConfigDialog::OnAsynchronous() { mode_ = 0; }

void ServerConfigDialog::OnVersion1() { RefreshServerList(CategoryChange::Version1); }

void ServerConfigDialog::OnVersion2() { RefreshServerList(CategoryChange::Version2); }

void ServerConfigDialog::OnRefresh() { RefreshServerList(CategoryChange::Keep); }

void ServerConfigDialog::OnBatchItem() {
    if (!StoreToRecord())
        return;
    // No parent: the item link dialog runs over this one, which stays open as it is. Nothing
    // may be thrown back into the framework's window procedure.
    try {
        ItemLinkDialog itemLink(nullptr);
        itemLink.SetDeviceRecord(record_);
        itemLink.DoModal();
    } catch (...) {
    }
}

void ServerConfigDialog::OnNodeDropDown() {
    if (nodeListFilled_)
        return;
    fw::WaitCursor wait;
    // Filling the list must not replace what the engineer typed, which the node value does not
    // hold until the next read of the controls.
    const fw::String typed = GetItemText(IDC_NODE);
    std::vector<std::string> nodes;
    discovery_.EnumerateNetworkNodes(nullptr, nodes);  // a failure is silent
    HWND box = Item(IDC_NODE);
    for (const std::string& node : nodes)  // ANSI texts: the A message converts them
        SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(node.c_str()));
    SetWindowTextA(Item(IDC_NODE), typed.c_str());
    nodeListFilled_ = true;  // also after a failure: the list is built once per dialog
}

void ServerConfigDialog::OnServerSelChange() {
    fw::WaitCursor wait;
    UpdateData(true);  // a failure is reported and the selection is taken all the same
    const LRESULT index = SendItemMessage(IDC_SERVER, CB_GETCURSEL);
    if (index == CB_ERR)
        return;
    const LRESULT data = SendItemMessage(IDC_SERVER, CB_GETITEMDATA, static_cast<WPARAM>(index));
    if (data == CB_ERR || data == 0)
        return;
    const auto* entry = reinterpret_cast<const ServerEntry*>(data);
    clsid_ = entry->clsid;
    server_ = entry->progId;
}

void ServerConfigDialog::RefreshServerList(CategoryChange change) {
    const fw::String keptServer = server_;
    UpdateData(true);
    if (change == CategoryChange::Version1)
        category_ = kCatidOpcDaServer10;
    else if (change == CategoryChange::Version2)
        category_ = kCatidOpcDaServer20;
    ListServers(node_.c_str());
    if (!keptServer.empty()) {
        server_ = keptServer;
        UpdateData(false);
    } else {
        SendItemMessage(IDC_SERVER, CB_SETCURSEL, 0);
    }
    if (change == CategoryChange::Version1)
        version_ = 1;
    else if (change == CategoryChange::Version2)
        version_ = 2;
}

void ServerConfigDialog::ListServers(const char* node) {
    fw::WaitCursor wait;  // the network and another computer's registry answer slowly
    ClearServerList();
    discovery_.BeginListing(node, category_);
    ServerPass pass;
    while (discovery_.NextPass(pass)) {
        for (const ServerEntry* entry : pass.added)
            ShowServerEntry(*entry);
        if (pass.EndsWithSelection())
            OnServerSelChange();
    }
}

// A new item for the entry, chosen when it is the server named; while no server is named, the
// CLSID follows the first item.
void ServerConfigDialog::ShowServerEntry(const ServerEntry& entry) {
    HWND box = Item(IDC_SERVER);
    const LRESULT index =
        SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.progId.c_str()));
    if (index >= 0)
        SendMessageA(box, CB_SETITEMDATA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&entry));
    if (server_.str() == entry.progId) {
        if (index >= 0)
            SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else if (server_.empty()) {
        const LRESULT first = SendMessageA(box, CB_GETITEMDATA, 0, 0);
        if (first != CB_ERR && first != 0)
            clsid_ = reinterpret_cast<const ServerEntry*>(first)->clsid;
    }
}

void ServerConfigDialog::ClearServerList() {
    SendItemMessage(IDC_SERVER, CB_RESETCONTENT);
    discovery_.Clear();
}

void ServerConfigDialog::Report(const std::string& text) {
    fw::ShowMessage(Handle(), text.c_str(), MB_OK);
}

}  // namespace pelorin

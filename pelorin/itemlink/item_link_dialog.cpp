#include "itemlink/item_link_dialog.h"

#include <cstring>

#include "entry/module_state.h"
#include "entry/server_settings.h"
#include "fw/app.h"
#include "resources/resource.h"

namespace pelorin {

ItemLinkDialog::ItemLinkDialog(HWND parent)
    : fw::Dialog(IDD_ITEM_LINK, parent), session_(StreamClipboardFormats()) {}

ItemLinkDialog::~ItemLinkDialog() {
    // The module lock, a connection still open, then the sinks.
    session_.Close();
    // Whatever else the dialog holds of the server (the browse interface) is released here,
    // before the last references to the group and the server.
    session_.ReleaseInterfaces();
}

void ItemLinkDialog::SetDeviceRecord(DeviceRecord* record) {
    record_ = record;
    std::memcpy(&serverClassId_, &record->clsid, sizeof serverClassId_);
    nodeName_ = ReadTextField(record->node, sizeof record->node);
    serverName_ = ReadTextField(record->server, sizeof record->server);
    dataType_ = 0;
    readAttribute_ = 0;
    badValueMode_ = 0;
    showValue_ = 0;
    itemId_.clear();
    session_.SetServer(nodeName_, serverName_, serverClassId_);
}

BOOL ItemLinkDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    fw::WaitCursor wait;
    session_.SetOwner(Handle());
    session_.ConnectServer(); // reports its own failures; the dialog goes on in every case
    return TRUE;
}

void ItemLinkDialog::OnOK() {
    UpdateData(true); // a control that fails its reading does not stop the OK
    session_.DisconnectServer();
    EndDialog(IDOK);  // once disconnected the dialog must not stay open
}

void ItemLinkDialog::OnCancel() {
    session_.DisconnectServer();
    fw::Dialog::OnCancel();
}

}  // namespace pelorin

#include "itemlink/item_link_dialog.h"

#include <cstring>

#include "entry/server_settings.h"
#include "resources/resource.h"

namespace pelorin {

ItemLinkDialog::ItemLinkDialog(HWND parent) : fw::Dialog(IDD_ITEM_LINK, parent) {}

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
}

}  // namespace pelorin

#include "itemlink/item_link_dialog.h"

#include <commctrl.h>

#include <cstring>

#include "entry/module_state.h"
#include "entry/server_settings.h"
#include "fw/app.h"
#include "fw/exchange.h"
#include "fw/resources.h"
#include "resources/resource.h"
#include "session/ansi_text.h"

namespace pelorin {
namespace {

enum : DISPID { kCellSelect = 11, kCellChange = 50, kCellKeyDown = 51 };

constexpr long kGridColumns = 4; // 0: row numbers, 1: tag, 2: PV, 3: DESC
constexpr long kTagColumnWidth = 140;
constexpr long kLinkColumnWidth = 150;
constexpr long kRowNumbersOption = 1;
constexpr int kDataTypeItems = 6;
constexpr int kReadAttributeItems = 2;
constexpr int kBadValueItems = 2;
constexpr int kShowOtherValue = 0; // bad-value mode that uses the show value

const char kAnyFilter[] = "*";

std::wstring Wide(const fw::String& ansi) {
    return AnsiToWide(ansi.str());
}

} // namespace

FW_BEGIN_COMMANDS(ItemLinkDialog)
FW_ON_COMMAND(IDC_FLAT_LIST, LBN_SELCHANGE, OnFlatSelChange)
FW_ON_COMMAND(IDC_LEAF_LIST, LBN_SELCHANGE, OnLeafSelChange)
FW_ON_COMMAND(IDC_LEAF_LIST, LBN_DBLCLK, OnLeafDoubleClick)
FW_ON_COMMAND(IDC_FILTER, EN_KILLFOCUS, OnFilterChange)
FW_ON_COMMAND(IDC_FILTER, EN_CHANGE, OnFilterChange)
FW_ON_COMMAND(IDC_FLAT_LIST, LBN_DBLCLK, OnOK)
FW_ON_COMMAND(IDC_DATA_TYPE, CBN_SELCHANGE, OnDataTypeChange)
FW_ON_COMMAND(IDC_BAD_VALUE, CBN_SELCHANGE, OnBadValueChange)
FW_ON_COMMAND(IDC_MAKE_TAGS, BN_CLICKED, MakeOpcTags)
FW_ON_COMMAND(IDC_CREATE_TABLE, BN_CLICKED, CreatePointTables)
FW_ON_COMMAND(IDC_CHOOSE_SOURCE, BN_CLICKED, ChooseDataSource)
FW_ON_COMMAND(IDC_MAKE_TAGS_ADVANCED, BN_CLICKED, MakeOpcTagsAdvanced)
FW_END_COMMANDS()

FW_BEGIN_EVENTS(ItemLinkDialog)
FW_ON_EVENT(IDC_TAG_GRID, kCellSelect, ShowCellLink)
FW_ON_EVENT(IDC_TAG_GRID, kCellKeyDown, DeleteCellLink)
FW_ON_EVENT(IDC_TAG_GRID, kCellChange, OnCellChange)
FW_END_EVENTS()

// The tree's notifications come as WM_NOTIFY, which the command table does not see.
namespace {
struct TreeNotification {
    UINT code;
    void (ItemLinkDialog::*handler)(const NMTREEVIEWW&);
};
} // namespace

INT_PTR ItemLinkDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, bool& handled) {
    if (message != WM_NOTIFY || !lParam)
        return 0;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom != IDC_BRANCH_TREE)
        return 0;
    // The A and W forms carry the item handles at the same places.
    static const TreeNotification kTree[] = {
        {TVN_ITEMEXPANDINGW, &ItemLinkDialog::OnItemExpanding},
        {TVN_ITEMEXPANDINGA, &ItemLinkDialog::OnItemExpanding},
        {TVN_SELCHANGEDW, &ItemLinkDialog::OnTreeSelChanged},
        {TVN_SELCHANGEDA, &ItemLinkDialog::OnTreeSelChanged},
    };
    for (const TreeNotification& entry : kTree) {
        if (entry.code != header->code)
            continue;
        const auto& change = *reinterpret_cast<const NMTREEVIEWW*>(lParam);
        (this->*entry.handler)(change);
        handled = true;
        return 0; // the expansion and the selection go ahead
    }
    return 0;
}

ItemLinkDialog::ItemLinkDialog(HWND parent)
    : fw::Dialog(IDD_ITEM_LINK, parent), filter_(kAnyFilter), session_(StreamClipboardFormats()) {
    dataTypes_ = {VT_EMPTY, VT_BOOL, VT_I2, VT_I4, VT_R8, VT_BSTR};
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
}

ItemLinkDialog::~ItemLinkDialog() {
    // The module lock, a connection still open, then the sinks.
    session_.Close();
    aliases_.clear();
    // The browse interface before the last references to the group and the server.
    panel_.Browser().Reset();
    session_.ReleaseInterfaces();
    // The tag list's nodes go with the table; the tags stay with the host.
}

void ItemLinkDialog::SetDeviceRecord(DeviceRecord* record) {
    record_ = record;
    GUID clsid;
    std::memcpy(&clsid, &record->clsid, sizeof clsid);
    nodeName_ = ReadTextField(record->node, sizeof record->node);
    serverName_ = ReadTextField(record->server, sizeof record->server);
    dataType_ = 0;
    readAttribute_ = 0;
    badValueMode_ = 0;
    showValue_ = 0;
    itemId_.Clear();
    session_.SetServer(nodeName_.str(), serverName_.str(), clsid);
    links_.SetDatabase(static_cast<HostTagDatabase*>(record->tagDatabase));
}

void ItemLinkDialog::DoDataExchange(fw::DataExchange& dx) {
    panel_.Tree().Attach(Item(IDC_BRANCH_TREE));
    panel_.Leaves().Attach(Item(IDC_LEAF_LIST));
    panel_.FlatList().Attach(Item(IDC_FLAT_LIST));
    dx.Text(IDC_ITEM_ID, itemId_);
    // Writing the filter box raises its change notification, which browses the server: only
    // a filter that differs from the box is written.
    if (dx.Saving() || GetItemText(IDC_FILTER) != filter_)
        dx.Text(IDC_FILTER, filter_);
    dx.ComboIndex(IDC_DATA_TYPE, dataType_);
    dx.ComboIndex(IDC_READ_ATTRIBUTE, readAttribute_);
    dx.ComboIndex(IDC_BAD_VALUE, badValueMode_);
    grid_.Bind(Handle(), IDC_TAG_GRID);
    dx.Text(IDC_OPC_PATH, opcPath_);
    dx.Int(IDC_SHOW_VALUE, showValue_);
    dx.Text(IDC_SOURCE, source_);
}

BOOL ItemLinkDialog::OnInitDialog() {
    FillAttributeCombos(); // before the first exchange selects in them
    fw::Dialog::OnInitDialog();
    fw::WaitCursor wait;
    session_.SetOwner(Handle());
    session_.ConnectServer(); // reports its own failures
    AddressSpaceBrowser& browser = panel_.Browser();
    if (session_.Server()) {
        browser.Reset();
        browser.Attach(session_.Server()); // a server without one cannot be browsed
    }
    panel_.ResetBrowseState();
    if (!panel_.Setup(Wide(filter_)))
        return TRUE; // nothing to browse: caption, grid and tags stay as the template has them
    const fw::String caption =
        nodeName_.empty() ? serverName_ : fw::String(nodeName_.str() + "\\\\" + serverName_.str());
    SetWindowTextA(Handle(), caption.c_str());
    LayOutGrid();
    FillLinkGrid();
    LoadAliasFile(aliases_, [this](const std::wstring& text) { Tell(text); });
    UpdateData(false);
    return TRUE;
}

void ItemLinkDialog::FillAttributeCombos() {
    const struct {
        UINT id;
        UINT firstText;
        int count;
    } combos[] = {{IDC_DATA_TYPE, IDS_DATA_TYPE_FIRST, kDataTypeItems},
                  {IDC_READ_ATTRIBUTE, IDS_READ_ATTRIBUTE_FIRST, kReadAttributeItems},
                  {IDC_BAD_VALUE, IDS_BAD_VALUE_FIRST, kBadValueItems}};
    for (const auto& combo : combos) {
        SendItemMessage(combo.id, CB_RESETCONTENT);
        for (int i = 0; i < combo.count; ++i) {
            const std::wstring text = Text(combo.firstText + static_cast<UINT>(i));
            SendItemMessage(combo.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
    }
}

void ItemLinkDialog::LayOutGrid() {
    grid_.SetColumnCount(kGridColumns, 0);
    grid_.SetColumnWidth(1, kTagColumnWidth, 1, 0);
    grid_.SetColumnWidth(1, kLinkColumnWidth, 2, 0);
    grid_.SetColumnWidth(1, kLinkColumnWidth, 3, 0);
    grid_.SetupOption(kRowNumbersOption, 1);
}

void ItemLinkDialog::OnOK() {
    // A value the controls cannot give (a show value that is no whole number) is told once
    // and stops OK before anything is disconnected, changed or saved.
    if (!UpdateData(true))
        return;
    session_.DisconnectServer();
    if (gridEdited_)
        links_.RebuildLinks(CurrentAttributes());
    if (HostTagDatabase* database = TagDatabase())
        database->Save();
    EndDialog(IDOK);
}

void ItemLinkDialog::OnCancel() {
    // Cancel closes the dialog whatever the answer, and whatever goes wrong on the way.
    struct EndAnyway {
        ItemLinkDialog& dialog;
        ~EndAnyway() { dialog.EndDialog(IDCANCEL); }
    } end{*this};
    if (AskYesNo(Text(IDS_SAVE_AND_EXIT)))
        if (HostTagDatabase* database = TagDatabase())
            database->Save();
    session_.DisconnectServer();
}

bool ItemLinkDialog::PreTranslateMessage(MSG* message) {
    // Enter and Escape do nothing here: neither closes the dialog nor presses a button.
    if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST &&
        (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE))
        return true;
    return fw::Dialog::PreTranslateMessage(message);
}

void ItemLinkDialog::OnItemExpanding(const NMTREEVIEWW& change) {
    panel_.Expand(change.itemNew.hItem);
}

void ItemLinkDialog::OnTreeSelChanged(const NMTREEVIEWW&) {
    panel_.RefreshLeaves(Wide(filter_));
}

void ItemLinkDialog::OnFilterChange() {
    // Only the filter: reading every control here would report a bad show value on each
    // keystroke, and its message box would take the focus and call this again.
    filter_ = GetItemText(IDC_FILTER);
    if (panel_.Hierarchical())
        panel_.RefreshLeaves(Wide(filter_));
    else
        panel_.RefreshFlat(Wide(filter_));
}

void ItemLinkDialog::OnLeafSelChange() {
    std::string id;
    if (!panel_.ChooseLeaf(id))
        return;
    // Only the item id is shown: the other controls keep what the engineer set in them.
    itemId_ = id;
    SetItemText(IDC_ITEM_ID, itemId_.c_str());
}

void ItemLinkDialog::OnFlatSelChange() {
    std::string id;
    if (!panel_.ChooseFlat(id))
        return;
    itemId_ = id;
    SetItemText(IDC_ITEM_ID, itemId_.c_str());
}

void ItemLinkDialog::OnLeafDoubleClick() {
    if (!UpdateData(true))
        return; // the value it refused was told; nothing is linked with a stale one
    const long row = grid_.GetActiveRow();
    const long column = grid_.GetActiveColumn();
    links_.LinkCellItem(column, row, itemId_.str(), CurrentAttributes());
}

void ItemLinkDialog::OnDataTypeChange() {
    UpdateData(true);
    // The member keeps the combo index: every link carries the data type in that one form.
    if (panel_.Hierarchical())
        panel_.RefreshLeaves(Wide(filter_));
}

void ItemLinkDialog::OnBadValueChange() {
    UpdateData(true);
    ShowShowValue(false);
    if (badValueMode_ == kShowOtherValue)
        ShowShowValue(true);
}

void ItemLinkDialog::ShowShowValue(bool visible) {
    ShowWindow(Item(IDC_SHOW_VALUE), visible ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_SHOW_VALUE_LABEL), visible ? SW_SHOW : SW_HIDE);
}

void ItemLinkDialog::ShowCellLink(long column, long row, long flag) {
    CellLink link;
    if (flag != 1 || !links_.ShowCellLink(column, row, link))
        return;
    itemId_ = link.itemId;
    dataType_ = link.attributes.dataType;
    badValueMode_ = link.attributes.badValue;
    readAttribute_ = link.attributes.readWrite;
    showValue_ = link.attributes.showValue;
    UpdateData(false);
}

void ItemLinkDialog::OnCellChange(long, long, long*) {
    gridEdited_ = 1;
}

void ItemLinkDialog::DeleteCellLink(long, long, long, long key, long, long* keyRef) {
    if (key != VK_DELETE)
        return;
    const long column = grid_.GetActiveColumn();
    const long row = grid_.GetActiveRow();
    if (!links_.DeleteCellLink(column, row) && keyRef)
        *keyRef = 0; // the grid ignores the key: the cell keeps its text
}

void ItemLinkDialog::MakeOpcTags() {
    TagRun run = MakeTagRun();
    pelorin::MakeOpcTags(run, panel_.TopLevelBranches());
}

void ItemLinkDialog::MakeOpcTagsAdvanced() {
    TagRun run = MakeTagRun();
    pelorin::MakeOpcTagsAdvanced(run, panel_.TopLevelBranches());
}

TagRun ItemLinkDialog::MakeTagRun() {
    // The run links with the attributes the members hold now: it does not read the controls.
    return TagRun{panel_.Browser().Holder(),
                  TagDatabase(),
                  aliases_,
                  shownTagCount_,
                  [this](int column, HostTag* tag, const std::string& item) {
                      return LinkItemToTag(column, tag, item);
                  },
                  [this] { FillLinkGrid(); },
                  [this](const std::wstring& text) { Tell(text); }};
}

void ItemLinkDialog::ChooseDataSource() {
    if (!points_.Choose([this](const std::wstring& text) { Tell(text); }))
        return;
    source_ = points_.Source();
    UpdateData(false);
}

void ItemLinkDialog::CreatePointTables() {
    pelorin::CreatePointTables(points_.Database(), panel_.Browser().Holder(), aliases_,
                               panel_.TopLevelBranches(),
                               [this](const std::wstring& text) { Tell(text); });
}

bool ItemLinkDialog::LinkItemToTag(long column, HostTag* tag, const std::string& item) {
    return links_.LinkItemToTag(column, tag, item, CurrentAttributes());
}

void ItemLinkDialog::FillLinkGrid() {
    links_.FillLinkGrid();
    shownTagCount_ = links_.ShownTagCount();
}

LinkAttributes ItemLinkDialog::CurrentAttributes() const {
    LinkAttributes attributes;
    attributes.dataType = dataType_;
    attributes.badValue = badValueMode_;
    attributes.showValue = showValue_;
    attributes.readWrite = readAttribute_;
    return attributes;
}

std::wstring ItemLinkDialog::Text(UINT id) const {
    std::wstring text;
    if (!LoadText(id, text))
        text.clear();
    return text;
}

HostTagDatabase* ItemLinkDialog::TagDatabase() const {
    return links_.Database();
}

void ItemLinkDialog::Tell(const std::wstring& text) {
    fw::ShowMessageW(Handle(), text.c_str(), MB_OK);
}

bool ItemLinkDialog::AskYesNo(const std::wstring& text) {
    return fw::ShowMessageW(Handle(), text.c_str(), MB_YESNO) == IDYES;
}

} // namespace pelorin

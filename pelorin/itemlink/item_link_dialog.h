// The item link dialog: browses the configured OPC server's address space, shows the device's
// tags in the grid with the items linked to their PV and DESC, links an item to a tag by a
// double-click, makes one tag per item of the server (Make OPC Tag), writes point tables into a
// database, and hands the changes to the host's tag database when it closes.
//
// The dialog moves values between its controls and the plain classes that do the work: the
// OPC session, the browse panel, the tag link table, tag creation and the point tables.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "entry/device_record.h"
#include "fw/dialog.h"
#include "fw/events.h"
#include "fw/string.h"
#include "itemlink/browse_panel.h"
#include "itemlink/ccell2000.h"
#include "itemlink/cell_grid.h"
#include "session/opc_session.h"
#include "tags/alias_file.h"
#include "tags/point_table_source.h"
#include "tags/tag_creation.h"
#include "tags/tag_link_table.h"

namespace pelorin {

class ItemLinkDialog : public fw::Dialog, private LinkMessages {
public:
    // Creates the OPC session with its three sinks (not yet connected), locks the module and
    // sets the process's COM security.
    explicit ItemLinkDialog(HWND parent = nullptr);
    ~ItemLinkDialog() override;

    // Keeps the record and copies the server's class id, node and server name from it; the
    // attributes start at the first entry of each combo. Must be called before the dialog runs.
    void SetDeviceRecord(DeviceRecord* record);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool PreTranslateMessage(MSG* message) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    FW_DECLARE_COMMANDS()
    FW_DECLARE_EVENTS()

private:
    // Browse panel.
    void OnItemExpanding(const NMTREEVIEWW& change);
    void OnTreeSelChanged(const NMTREEVIEWW& change);
    void OnFilterChange();
    void OnLeafSelChange();
    void OnFlatSelChange();
    void OnLeafDoubleClick();
    // Attributes.
    void OnDataTypeChange();
    void OnBadValueChange();
    // Grid events.
    void ShowCellLink(long column, long row, long flag);
    void OnCellChange(long column, long row, long* accept);
    void DeleteCellLink(long column, long row, long sheet, long key, long shift, long* keyRef);

    // Tag creation (Make OPC Tag, Advance) and the point tables ("...", CreateTable).
    void MakeOpcTags();
    void MakeOpcTagsAdvanced();
    void ChooseDataSource();
    void CreatePointTables();
    // What a tag creation run borrows from the dialog.
    TagRun MakeTagRun();
    // Tag creation links a new tag's PV with the attributes the dialog holds.
    bool LinkItemToTag(long column, HostTag* tag, const std::string& item);
    // Reloads the grid from the host and recounts the shown tags.
    void FillLinkGrid();

    void FillAttributeCombos();
    void LayOutGrid();
    void ShowShowValue(bool visible);
    LinkAttributes CurrentAttributes() const;
    HostTagDatabase* TagDatabase() const;
    std::wstring Text(UINT id) const; // a string table entry, empty when there is none

    // LinkMessages: message boxes over the dialog, captioned with the host's title.
    void Tell(const std::wstring& text) override;
    bool AskYesNo(const std::wstring& text) override;

    // The tree of branches (1004), the leaf list (1005) and the flat list (1016), with the
    // browse interface, the namespace type, the browse data-type filter and the "Root" item.
    BrowsePanel panel_;
    fw::String itemId_;      // 1006: the chosen item's id
    fw::String nodeName_;    // from the record
    fw::String serverName_;  // from the record
    fw::String filter_;      // 1017
    int dataType_ = 0;       // 1024: combo index; links carry it as it is
    int readAttribute_ = -1; // 1026: combo index
    int badValueMode_ = -1;  // 1020: combo index
    CCell2000 grid_;         // 12015
    CellGrid cellGrid_{grid_};
    fw::String opcPath_;    // 1013: kept for the engineer, read by nothing
    int32_t showValue_ = 0; // 1029
    fw::String source_;     // 1034: the data source of the point tables
    DeviceRecord* record_ = nullptr;
    // The device's tags (the list's nodes are ours, the tags the host's) and the shown-tag count.
    TagLinkTable links_{nullptr, cellGrid_, *this};
    OpcSession session_;
    // The database library's object for the point tables, from its CreateTabulo on the first
    // "..." click (the library's, never freed here), and the data source chosen with it.
    PointTableSource points_{[] { return CreateTabulo(); }};
    // The tags with a grid row, as FillLinkGrid counted them: the running count of the tag
    // limit during Make OPC Tag.
    int shownTagCount_ = 0;
    // The VARTYPE each data-type entry stands for. Links carry the entry's index, the form the
    // combo shows and ShowCellLink reads back; the table says what an index means.
    std::array<VARTYPE, 6> dataTypes_{};
    // Top-level branch name to its alias, read from AliasFile.txt once per dialog.
    AliasMap aliases_;
    long gridEdited_ = 0; // set by the grid's CellChange; OK then links every shown tag anew
};

} // namespace pelorin

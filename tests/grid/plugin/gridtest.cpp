// A test plug-in for the host: a dialog that places the grid control by class id, drives it
// through CCell2000 and shows every grid event it receives, and that lists, links and creates
// tags through the host tag database from the device record. Scenarios use it to check the
// grid, the framework's control hosting and the host's tag policies end to end, and what
// happens when a handler throws (its Throw button, its "Throw in events" box).
#include <ole2.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "entry/device_record.h"
#include "fw/app.h"
#include "fw/dialog.h"
#include "fw/events.h"
#include "fw/resources.h"
#include "gridtest_ids.h"
#include "itemlink/ccell2000.h"
#include "tags/host_tag_db.h"

namespace {

fw::ExtensionModule gExtension;

enum : DISPID { kCellSelect = 11, kCellChange = 50, kCellKeyDown = 51 };

bool IsPv(const fw::String& parameter) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, parameter.c_str(), -1, "PV", -1) ==
           CSTR_EQUAL;
}

class GridTestDialog : public fw::Dialog {
public:
    explicit GridTestDialog(pelorin::HostTagDatabase* tags) : Dialog(IDD_GRIDTEST), tags_(tags) {}

protected:
    BOOL OnInitDialog() override {
        fw::Dialog::OnInitDialog();
        if (!grid_.Bind(Handle(), IDC_GRID)) {
            Log("no grid");
            return TRUE;
        }
        grid_.SetColumnCount(4, 0);
        grid_.SetColumnWidth(1, 140, 1, 0);
        grid_.SetColumnWidth(1, 150, 2, 0);
        grid_.SetColumnWidth(1, 150, 3, 0);
        grid_.SetupOption(1, 1);
        FillGrid();
        return TRUE;
    }

    void OnOK() override {
        if (tags_)
            tags_->Save();
        EndDialog(IDOK);
    }

    FW_DECLARE_COMMANDS()
    FW_DECLARE_EVENTS()

private:
    void OnCellSelect(long column, long row, long flag) {
        if (flag == 1)
            ThrowIfAsked(); // the new cell's selection only: one failure per click
        Log("sel " + std::to_string(column) + " " + std::to_string(row) + " " +
            std::to_string(flag));
    }
    void OnCellChange(long column, long row, long* accept) {
        Log("chg " + std::to_string(column) + " " + std::to_string(row));
        if (SendItemMessage(IDC_REFUSE_CHANGES, BM_GETCHECK) == BST_CHECKED)
            *accept = 0;
    }
    void OnCellKeyDown(long column, long row, long sheet, long key, long shift, long* process) {
        Log("key " + std::to_string(column) + " " + std::to_string(row) + " " +
            std::to_string(sheet) + " " + std::to_string(key) + " " + std::to_string(shift));
        if (SendItemMessage(IDC_REFUSE_KEYS, BM_GETCHECK) == BST_CHECKED)
            *process = 0;
    }

    // A handler that fails the way C++ code fails: the dialog must survive it.
    void OnThrow() { throw std::runtime_error("the test plug-in's handler failed"); }
    void ThrowIfAsked() {
        if (SendItemMessage(IDC_THROW_IN_EVENTS, BM_GETCHECK) == BST_CHECKED)
            throw std::runtime_error("the test plug-in's event handler failed");
    }

    void OnClearLog() {
        log_.clear();
        SetItemText(IDC_LOG, "");
    }

    // Links the item text to the current cell's tag: PV in column 2, DESC in column 3.
    void OnLink() {
        const long column = grid_.GetActiveColumn();
        const long row = grid_.GetActiveRow();
        pelorin::HostTag* tag = TagOfRow(row);
        if (!tag || column < 2) {
            Log("no tag");
            return;
        }
        const fw::String item = GetItemText(IDC_ITEM);
        pelorin::TagLink link;
        link.parameter = column <= 2 ? "PV" : "DESC";
        link.SetItemId(item.c_str());
        tag->RemoveLink(&link.parameter);
        if (!tag->AddLink(&link)) {
            Log("refused");
            return;
        }
        grid_.SetCellText(column, row, 0, item.c_str());
        Log("linked");
    }

    void OnCreate() {
        if (!tags_)
            return;
        const fw::String name = GetItemText(IDC_NAME);
        const fw::String description;
        pelorin::HostTag* tag = tags_->CreateTag(0, 0, &name, &description);
        Log(tag ? "created" : "refused");
        if (tag)
            FillGrid();
    }

    void FillGrid() {
        if (!tags_)
            return;
        tags_->ListTags(&tagList_);
        shown_.clear();
        for (fw::PtrList::Position at = tagList_.GetHeadPosition(); at;) {
            auto* tag = static_cast<pelorin::HostTag*>(tagList_.GetNext(at));
            if (!tag->IsHidden())
                shown_.push_back(tag);
        }
        if (tagList_.GetCount() >= 50)
            grid_.SetRowCount(tagList_.GetCount() + 1, 0);
        grid_.SetCellText(1, 0, 0, "Tag");
        grid_.SetCellText(2, 0, 0, "PV");
        grid_.SetCellText(3, 0, 0, "DESC");
        for (size_t i = 0; i < shown_.size(); ++i) {
            const long row = static_cast<long>(i) + 1;
            grid_.SetCellText(1, row, 0, shown_[i]->Name().c_str());
            pelorin::TagLinkArray links;
            shown_[i]->GetLinks(&links);
            for (int k = 0; k < links.GetSize(); ++k)
                grid_.SetCellText(IsPv(links[k].parameter) ? 2 : 3, row, 0,
                                  links[k].itemId.c_str());
        }
    }

    pelorin::HostTag* TagOfRow(long row) {
        return row >= 1 && static_cast<size_t>(row) <= shown_.size()
                   ? shown_[static_cast<size_t>(row) - 1]
                   : nullptr;
    }

    void Log(const std::string& entry) {
        log_ += (log_.empty() ? "" : "|") + entry;
        SetItemText(IDC_LOG, log_.c_str());
    }

    pelorin::HostTagDatabase* tags_;
    pelorin::CCell2000 grid_;
    fw::PtrList tagList_;
    std::vector<pelorin::HostTag*> shown_;
    std::string log_;
};

FW_BEGIN_COMMANDS(GridTestDialog)
FW_ON_COMMAND(IDC_CLEAR_LOG, BN_CLICKED, OnClearLog)
FW_ON_COMMAND(IDC_LINK, BN_CLICKED, OnLink)
FW_ON_COMMAND(IDC_CREATE, BN_CLICKED, OnCreate)
FW_ON_COMMAND(IDC_THROW, BN_CLICKED, OnThrow)
FW_END_COMMANDS()

FW_BEGIN_EVENTS(GridTestDialog)
FW_ON_EVENT(IDC_GRID, kCellSelect, OnCellSelect)
FW_ON_EVENT(IDC_GRID, kCellChange, OnCellChange)
FW_ON_EVENT(IDC_GRID, kCellKeyDown, OnCellKeyDown)
FW_END_EVENTS()

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!fw::InitExtensionModule(gExtension, instance))
            return FALSE;
        fw::AddResourceModule(gExtension);
    } else if (reason == DLL_PROCESS_DETACH) {
        fw::TermExtensionModule(gExtension);
    }
    return TRUE;
}

// Returns 0 after OK (the tags saved), -1 otherwise.
extern "C" int __cdecl OnCfgIoDev(int, void* record) {
    if (!record)
        return -1;
    const HRESULT ole = OleInitialize(nullptr);
    int result = -1;
    try {
        auto* device = static_cast<pelorin::DeviceRecord*>(record);
        GridTestDialog dialog(static_cast<pelorin::HostTagDatabase*>(device->tagDatabase));
        result = dialog.DoModal() == IDOK ? 0 : -1;
    } catch (...) {
        result = -1;
    }
    if (SUCCEEDED(ole))
        OleUninitialize();
    return result;
}

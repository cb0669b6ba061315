// A test plug-in for the host's own scenarios: a dialog with a tree that fills an item when it
// first expands and counts every expansion and collapse it is asked about, a list box that
// reports double-clicks, an edit with a typing limit, a hidden button, and the first line of the
// AliasFile.txt beside the plug-in. It shows what it saw in static texts, so that scenarios check
// the robot's steps against real controls. Its name gives it the DeviceRecord; OK writes the
// number of the call (counted while the module stays loaded) into the record's version.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "entry/device_record.h"
#include "probe_ids.h"

namespace {

HMODULE gModule = nullptr;
int gCalls = 0;

// What the tree gets below an item when it first expands, by the item's text; items of other
// texts turn out to have nothing below them.
const std::map<std::wstring, std::vector<std::wstring>> kBelow = {
    {L"Root", {L"Channel1", L"锅炉房", L"Empty"}},
    {L"Channel1", {L"Motor"}},
};

struct Probe {
    pelorin::DeviceRecord* record;
    int expanding = 0;
    int collapsing = 0;
};

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[256] = {};
    TVITEMW data = {};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = 256;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

// A branch not yet filled: item data 0 and a placeholder child, so that it shows a button.
HTREEITEM AddBranch(HWND tree, HTREEITEM parent, const std::wstring& text) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = 0;
    auto* item = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    insert.hParent = item;
    insert.item.pszText = const_cast<wchar_t*>(L"Dummy");
    SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
    return item;
}

void Fill(HWND tree, HTREEITEM item) {
    TVITEMW data = {};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    if (data.lParam)
        return; // filled once per dialog
    data.lParam = 1;
    SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    while (HTREEITEM child = TreeView_GetChild(tree, item))
        TreeView_DeleteItem(tree, child);
    const auto below = kBelow.find(ItemText(tree, item));
    if (below != kBelow.end())
        for (const std::wstring& text : below->second)
            AddBranch(tree, item, text);
}

std::wstring AliasFileLine() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(gModule, path, MAX_PATH);
    std::wstring file = path;
    file = file.substr(0, file.find_last_of(L"\\/")) + L"\\AliasFile.txt";
    FILE* in = _wfopen(file.c_str(), L"rb");
    if (!in)
        return L"no AliasFile.txt";
    char line[256] = {};
    if (!std::fgets(line, sizeof line, in))
        line[0] = '\0';
    std::fclose(in);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    wchar_t wide[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide, 256);
    return wide;
}

void ShowCounts(HWND dialog, const Probe& probe) {
    const std::wstring text = L"expanding " + std::to_wstring(probe.expanding) + L" collapsing " +
                              std::to_wstring(probe.collapsing);
    SetDlgItemTextW(dialog, IDC_EXPANSIONS, text.c_str());
}

BOOL OnNotify(HWND dialog, Probe& probe, const NMHDR* header) {
    if (header->idFrom != IDC_TREE)
        return FALSE;
    const auto* change = reinterpret_cast<const NMTREEVIEWW*>(header);
    if (header->code == TVN_ITEMEXPANDINGW || header->code == TVN_ITEMEXPANDINGA) {
        if (change->action & TVE_EXPAND) {
            ++probe.expanding;
            Fill(header->hwndFrom, change->itemNew.hItem);
        } else {
            ++probe.collapsing;
        }
        ShowCounts(dialog, probe);
    } else if (header->code == TVN_SELCHANGEDW || header->code == TVN_SELCHANGEDA) {
        SetDlgItemTextW(dialog, IDC_SELECTED,
                        ItemText(header->hwndFrom, change->itemNew.hItem).c_str());
    }
    return FALSE; // allow the expansion
}

INT_PTR Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        probe = reinterpret_cast<Probe*>(lParam);
        SetWindowTextW(dialog, (L"Probe call " + std::to_wstring(gCalls)).c_str());
        AddBranch(GetDlgItem(dialog, IDC_TREE), TVI_ROOT, L"Root");
        for (int i = 0; i < 60; ++i)
            SendDlgItemMessageW(dialog, IDC_LIST, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>((L"Item " + std::to_wstring(i)).c_str()));
        SendDlgItemMessageW(dialog, IDC_EDIT, EM_LIMITTEXT, 16, 0);
        SetDlgItemTextW(dialog, IDC_ALIAS_FILE, AliasFileLine().c_str());
        ShowCounts(dialog, *probe);
        return TRUE;
    }
    case WM_NOTIFY:
        return probe ? OnNotify(dialog, *probe, reinterpret_cast<const NMHDR*>(lParam)) : FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_LIST && HIWORD(wParam) == LBN_DBLCLK) {
            const LRESULT index = SendDlgItemMessageW(dialog, IDC_LIST, LB_GETCURSEL, 0, 0);
            wchar_t text[64] = {};
            if (index >= 0)
                SendDlgItemMessageW(dialog, IDC_LIST, LB_GETTEXT, index,
                                    reinterpret_cast<LPARAM>(text));
            SetDlgItemTextW(dialog, IDC_DOUBLE_CLICKED,
                            (L"double-clicked " + std::wstring(text)).c_str());
        } else if (LOWORD(wParam) == IDC_HIDDEN && HIWORD(wParam) == BN_CLICKED) {
            SetDlgItemTextW(dialog, IDC_ADVANCED, L"advanced");
        } else if (LOWORD(wParam) == IDOK) {
            probe->record->version = gCalls;
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK ProbeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Handle(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        gModule = instance;
    return TRUE;
}

extern "C" int __cdecl OnCfgIoDev(int, void* record) {
    if (!record)
        return -1;
    try {
        ++gCalls;
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        Probe probe{static_cast<pelorin::DeviceRecord*>(record)};
        const INT_PTR result = DialogBoxParamW(gModule, MAKEINTRESOURCEW(IDD_PROBE), nullptr,
                                               ProbeProc, reinterpret_cast<LPARAM>(&probe));
        return result == IDOK ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

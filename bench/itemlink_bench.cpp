// Figures for the item link dialog: opening it on a device with 4,000 tags (connect, browse
// setup, grid layout and FillLinkGrid), FillLinkGrid beside a bare loop of the same grid calls
// on the same control, and a branch of 10,000 leaves chosen in the tree until its leaf list is
// filled. Prints; asserts nothing.
//   wine build/bin/itemlink_bench.exe   (under an X display, in the prefix of ./run bench)
#include <ole2.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "entry/device_record.h"
#include "fw/app.h"
#include "fw/control_host.h"
#include "fw/resources.h"
#include "itemlink/ccell2000.h"
#include "itemlink/cell_grid.h"
#include "itemlink/item_link_dialog.h"
#include "resource.h"
#include "sim_world.h"
#include "tags/tag_link_table.h"

namespace {

constexpr int kTags = 4000;
constexpr int kRounds = 5;
constexpr UINT kTreeId = 1004;
constexpr UINT kLeafListId = 1005;

// {C169869C-640B-487F-B650-6595DBEDB75A}: the sample plant's hierarchical server.
constexpr CLSID kPlant = {
    0xC169869C, 0x640B, 0x487F, {0xB6, 0x50, 0x65, 0x95, 0xDB, 0xED, 0xB7, 0x5A}};
// {7A1E00B1-5C3B-4E8A-9D21-0B0E11A700B1}: the bench's server with a branch of 10,000 leaves.
constexpr CLSID kBig = {
    0x7A1E00B1, 0x5C3B, 0x4E8A, {0x9D, 0x21, 0x0B, 0x0E, 0x11, 0xA7, 0x00, 0xB1}};
// {5168A2D2-0D15-4F2D-84E9-28E7117C83AA}
constexpr CLSID kGrid = {
    0x5168A2D2, 0x0D15, 0x4F2D, {0x84, 0xE9, 0x28, 0xE7, 0x11, 0x7C, 0x83, 0xAA}};

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Best(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// ---------------------------------------------------------------- a device's tags

class BenchTag final : public pelorin::HostTag {
public:
    explicit BenchTag(int number) {
        char text[64];
        std::snprintf(text, sizeof text, "Tag%04d", number);
        name_ = text;
        std::snprintf(text, sizeof text, "Channel1.Boiler.Value%04d", number);
        pv_ = text;
        if (number % 2 == 0) {
            std::snprintf(text, sizeof text, "Channel1.Boiler.Text%04d", number);
            desc_ = text;
        }
    }
    fw::String Name() override { return name_; }
    int ReservedSlot2() override { return 0; }
    int ReservedSlot3() override { return 0; }
    int ReservedSlot4() override { return 0; }
    int ReservedSlot5() override { return 0; }
    int ReservedSlot6() override { return 0; }
    int IsHidden() override { return 0; }
    int GetLinks(pelorin::TagLinkArray* links) override {
        Append(links, "PV", pv_);
        if (!desc_.empty())
            Append(links, "DESC", desc_);
        return 1;
    }
    int AddLink(const pelorin::TagLink*) override { return 1; }
    int ReservedSlot10() override { return 0; }
    int RemoveLink(const fw::String*) override { return 1; }
    int ClearLinks() override { return 1; }

    const std::string& TagName() const { return name_; }
    const std::string& Pv() const { return pv_; }
    const std::string& Desc() const { return desc_; }

private:
    static void Append(pelorin::TagLinkArray* links, const char* parameter,
                       const std::string& item) {
        pelorin::TagLink link;
        link.parameter = parameter;
        link.SetItemId(item.c_str());
        links->Add(link);
    }
    std::string name_;
    std::string pv_;
    std::string desc_;
};

class BenchDatabase final : public pelorin::HostTagDatabase {
public:
    explicit BenchDatabase(int count) {
        for (int i = 1; i <= count; ++i)
            tags_.push_back(std::make_unique<BenchTag>(i));
    }
    int ListTags(fw::PtrList* list) override {
        list->RemoveAll();
        for (auto& tag : tags_)
            list->AddTail(static_cast<pelorin::HostTag*>(tag.get()));
        return 1;
    }
    int ReservedSlot2() override { return 0; }
    int Save() override { return 1; }
    pelorin::HostTag* CreateTag(int, int, const fw::String*, const fw::String*) override {
        return nullptr;
    }
    const std::vector<std::unique_ptr<BenchTag>>& Tags() const { return tags_; }

private:
    std::vector<std::unique_ptr<BenchTag>> tags_;
};

class Silent final : public pelorin::LinkMessages {
public:
    void Tell(const std::wstring&) override {}
    bool AskYesNo(const std::wstring&) override { return false; }
};

// ---------------------------------------------------------------- the dialog from outside

// What happens once the dialog has initialised: the first message its loop takes from the
// queue is one posted before it started, since initialisation runs before the loop.
struct Probe {
    double opened = 0; // when initialisation was over
    double listed = 0; // ms from choosing the big branch to a filled leaf list
    int leaves = 0;
    bool chooseBigBranch = false;
};
Probe* gProbe = nullptr;
HHOOK gHook = nullptr;
constexpr UINT kInitialised = WM_APP + 40;

HWND ThisThreadsDialog() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL CALLBACK {
            if (IsWindowVisible(window) && GetDlgItem(window, kTreeId)) {
                *reinterpret_cast<HWND*>(out) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const wchar_t* name) {
    for (auto item = reinterpret_cast<HTREEITEM>(
             SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
         item; item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                               reinterpret_cast<LPARAM>(item)))) {
        wchar_t text[64] = {};
        TVITEMW data = {};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = text;
        data.cchTextMax = 64;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
        if (std::wstring(text) == name)
            return item;
    }
    return nullptr;
}

LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == kInitialised &&
        !message->hwnd && gProbe) {
        gProbe->opened = Now();
        HWND dialog = ThisThreadsDialog();
        if (dialog && gProbe->chooseBigBranch) {
            HWND tree = GetDlgItem(dialog, kTreeId);
            const auto root =
                reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
            const HTREEITEM big = ChildNamed(tree, root, L"Big");
            const double start = Now();
            SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(big));
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(big));
            gProbe->listed = Now() - start;
            gProbe->leaves =
                static_cast<int>(SendMessageW(GetDlgItem(dialog, kLeafListId), LB_GETCOUNT, 0, 0));
        }
        if (dialog)
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

// Opens the dialog on a record of `server` with `tags`; returns ms until initialisation ended.
double OpenDialog(const CLSID& server, const char* progId, pelorin::HostTagDatabase* tags,
                  Probe& probe) {
    std::vector<unsigned char> bytes(sizeof(pelorin::DeviceRecord), 0);
    auto* record = reinterpret_cast<pelorin::DeviceRecord*>(bytes.data());
    std::snprintf(record->server, sizeof record->server, "%s", progId);
    record->clsid = server;
    record->tagDatabase = tags;
    gProbe = &probe;
    pelorin::ItemLinkDialog dialog(nullptr);
    dialog.SetDeviceRecord(record);
    PostThreadMessageW(GetCurrentThreadId(), kInitialised, 0, 0);
    const double start = Now();
    dialog.DoModal();
    gProbe = nullptr;
    return probe.opened - start;
}

// ---------------------------------------------------------------- fill against the bare calls

void CompareFill(BenchDatabase& database) {
    HWND window = CreateWindowW(L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500,
                                600, nullptr, nullptr, nullptr, nullptr);
    // Created as the dialog's template has it made, and reached as the dialog reaches it.
    HRESULT hr = E_FAIL;
    fw::HostedControl* control =
        fw::CreateHostedControl(window, kGrid, {0, 0, 480, 560}, 12015, &hr);
    pelorin::CCell2000 grid;
    if (!control || !grid.Bind(window, 12015)) {
        std::printf("cannot create the grid: 0x%08lX\n", static_cast<unsigned long>(hr));
        DestroyWindow(window);
        return;
    }
    pelorin::CellGrid cells(grid);
    Silent silent;
    pelorin::TagLinkTable table(&database, cells, silent);

    const UINT titleIds[3] = {IDS_TAG_TITLE, IDS_PV_TITLE, IDS_DESC_TITLE};
    std::wstring titles[3];
    for (int i = 0; i < 3; ++i)
        fw::LoadChainString(titleIds[i], titles[i]);
    std::vector<double> fill, bare;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        table.FillLinkGrid();
        fill.push_back(Now() - start);

        // The same calls on the same control: row count, titles, and per tag its name and
        // both link cells, then the row count asked once.
        start = Now();
        grid.SetRowCount(kTags + 1, 0);
        for (int i = 0; i < 3; ++i)
            grid.SetCellTextW(i + 1, 0, 0, titles[i].c_str());
        long row = 1;
        for (const auto& tag : database.Tags()) {
            grid.SetCellText(1, row, 0, tag->TagName().c_str());
            grid.SetCellText(2, row, 0, tag->Pv().c_str());
            grid.SetCellText(3, row, 0, tag->Desc().c_str());
            ++row;
        }
        grid.GetRowCount(0);
        bare.push_back(Now() - start);
    }
    std::printf("FillLinkGrid, %d tags: best %.1f ms, median %.1f ms\n", kTags, Best(fill),
                Median(fill));
    std::printf("the same grid calls in a bare loop: best %.1f ms, median %.1f ms\n", Best(bare),
                Median(bare));
    std::printf("FillLinkGrid / bare loop: %.2f (best), %.2f (median)\n", Best(fill) / Best(bare),
                Median(fill) / Median(bare));
    grid.DestroyWindow();
    fw::DestroyHostedControl(control);
    DestroyWindow(window);
}

// The grid's class object straight from grid.dll, so that the bench needs no registration.
bool RegisterGrid(DWORD& cookie) {
    HMODULE module = LoadLibraryW(L"grid.dll");
    auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IUnknown* factory = nullptr;
    if (!getClassObject ||
        FAILED(getClassObject(kGrid, IID_IUnknown, reinterpret_cast<void**>(&factory))))
        return false;
    const HRESULT hr =
        CoRegisterClassObject(kGrid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    factory->Release();
    return SUCCEEDED(hr);
}

// pelorin is installed with an AliasFile.txt beside it. The dialog, linked into this program,
// reads the one beside the program and would stop to tell that it is missing: an empty one is
// put there for the run unless one is there already. True when this run made it.
bool PutEmptyAliasFile() {
    HANDLE file =
        CreateFileW((simtest::ProgramDirectory() + L"AliasFile.txt").c_str(), GENERIC_WRITE, 0,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

} // namespace

int main() {
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    fw::ExtensionModule resources;
    fw::InitExtensionModule(resources, GetModuleHandleW(nullptr));
    fw::AddResourceModule(resources);
    DWORD gridCookie = 0;
    if (!RegisterGrid(gridCookie)) {
        std::printf("grid.dll not found\n");
        return 1;
    }
    const auto plant = simtest::SimWorld::FromFile(ITEMLINK_BENCH_PLANT);
    const auto big = simtest::SimWorld::FromFile(ITEMLINK_BENCH_WORLD);
    if (!plant->Ready() || !big->Ready()) {
        std::printf("cannot register the simulated servers: %s%s\n", plant->Error().c_str(),
                    big->Error().c_str());
        return 1;
    }
    const bool madeAliasFile = PutEmptyAliasFile();
    gHook = SetWindowsHookExW(WH_GETMESSAGE, OnMessage, nullptr, GetCurrentThreadId());

    BenchDatabase none(0);
    BenchDatabase many(kTags);
    std::vector<double> empty, full;
    for (int round = 0; round < kRounds; ++round) {
        Probe probe;
        empty.push_back(OpenDialog(kPlant, "OpcSim.Plant.1", &none, probe));
        Probe loaded;
        full.push_back(OpenDialog(kPlant, "OpcSim.Plant.1", &many, loaded));
    }
    std::printf("opening the item link dialog on the sample plant (connect, browse setup, grid)\n");
    std::printf("  with %d tags: best %.1f ms, median %.1f ms (target: under 1000 ms)\n", kTags,
                Best(full), Median(full));
    std::printf("  with no tags: best %.1f ms, median %.1f ms\n", Best(empty), Median(empty));
    std::printf("  the tags' share (FillLinkGrid): %.1f ms (median)\n",
                Median(full) - Median(empty));

    CompareFill(many);

    std::vector<double> listed;
    int leaves = 0;
    for (int round = 0; round < kRounds; ++round) {
        Probe probe;
        probe.chooseBigBranch = true;
        OpenDialog(kBig, "ItemLinkBench.Big.1", &none, probe);
        listed.push_back(probe.listed);
        leaves = probe.leaves;
    }
    std::printf("a branch of 10,000 leaves, expanded and chosen until its leaf list is filled: "
                "best %.1f ms, median %.1f ms (%d entries listed)\n",
                Best(listed), Median(listed), leaves);

    UnhookWindowsHookEx(gHook);
    if (madeAliasFile)
        DeleteFileW((simtest::ProgramDirectory() + L"AliasFile.txt").c_str());
    CoRevokeClassObject(gridCookie);
    fw::TermExtensionModule(resources);
    OleUninitialize();
    return 0;
}

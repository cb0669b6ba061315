// Where the robot's mouse goes on tree items and list box entries, tried on real controls: the
// notifications the owner sees must be those a person's clicks cause.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "control_driver.h"

namespace {

// A top-level window with a tree view and a list box that records their notifications.
class Owner {
public:
    Owner() {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW type = {};
        type.lpfnWndProc = Proc;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"ControlDriverTestOwner";
        RegisterClassW(&type);
        window_ = CreateWindowW(type.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                0, 400, 300, nullptr, nullptr, type.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        tree =
            CreateWindowW(WC_TREEVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES |
                              TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                          0, 0, 180, 120, window_, reinterpret_cast<HMENU>(1004), nullptr, nullptr);
        list = CreateWindowW(L"ListBox", L"",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 200, 0,
                             150, 100, window_, reinterpret_cast<HMENU>(1005), nullptr, nullptr);
    }
    ~Owner() { DestroyWindow(window_); }

    HTREEITEM Insert(HTREEITEM parent, const wchar_t* text) {
        TVINSERTSTRUCTW insert = {};
        insert.hParent = parent ? parent : TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<wchar_t*>(text);
        return reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    }

    // Handles everything posted so far.
    static void Pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    HWND tree = nullptr;
    HWND list = nullptr;
    std::vector<std::string> seen; // "expanding", "collapsing", "selected", "selchange", "dblclk"

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == TVN_ITEMEXPANDINGW) {
                const auto* tree = reinterpret_cast<const NMTREEVIEWW*>(lParam);
                self->seen.push_back(tree->action == TVE_EXPAND ? "expanding" : "collapsing");
                return FALSE;
            }
            if (header->code == TVN_SELCHANGEDW)
                self->seen.push_back("selected");
        }
        if (self && message == WM_COMMAND && HIWORD(wParam) == LBN_SELCHANGE)
            self->seen.push_back("selchange");
        if (self && message == WM_COMMAND && HIWORD(wParam) == LBN_DBLCLK)
            self->seen.push_back("dblclk");
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};

TEST(TreeDriver, ClickingTheButtonAsksTheOwnerEveryTime) {
    Owner owner;
    HTREEITEM root = owner.Insert(nullptr, L"Root");
    owner.Insert(owner.Insert(root, L"Channel1"), L"Dummy");
    // The item a dialog selects at its start; a click into a tree without a selection would
    // select its first item too.
    TreeView_SelectItem(owner.tree, root);
    Owner::Pump();
    for (const char* expected : {"expanding", "collapsing", "expanding"}) {
        POINT at = {};
        ASSERT_TRUE(host::TreeButtonPoint(owner.tree, root, at));
        owner.seen.clear();
        host::PostClick(owner.tree, at);
        Owner::Pump();
        EXPECT_EQ(std::vector<std::string>{expected}, owner.seen);
    }
    EXPECT_TRUE(host::TreeItemExpanded(owner.tree, root));
    // The button is the item's own: the child's opens the child, and selects nothing.
    HTREEITEM child = TreeView_GetChild(owner.tree, root);
    POINT at = {};
    ASSERT_TRUE(host::TreeButtonPoint(owner.tree, child, at));
    owner.seen.clear();
    host::PostClick(owner.tree, at);
    Owner::Pump();
    EXPECT_EQ(std::vector<std::string>{"expanding"}, owner.seen);
    EXPECT_TRUE(host::TreeItemExpanded(owner.tree, child));
}

TEST(TreeDriver, AnItemWithoutChildrenShowsNoButton) {
    Owner owner;
    HTREEITEM root = owner.Insert(nullptr, L"Root");
    HTREEITEM leaf = owner.Insert(root, L"Leaf");
    TreeView_Expand(owner.tree, root, TVE_EXPAND);
    POINT at = {};
    EXPECT_FALSE(host::TreeButtonPoint(owner.tree, leaf, at));
    // Its text is where a click selects it.
    ASSERT_TRUE(host::TreeTextPoint(owner.tree, leaf, at));
    owner.seen.clear();
    host::PostClick(owner.tree, at);
    Owner::Pump();
    EXPECT_EQ(leaf, TreeView_GetSelection(owner.tree));
    EXPECT_EQ(std::vector<std::string>{"selected"}, owner.seen);
}

TEST(TreeDriver, PathsAreFollowedByExactTextsAndAMissingPartIsNamed) {
    Owner owner;
    HTREEITEM root = owner.Insert(nullptr, L"Root");
    HTREEITEM channel = owner.Insert(root, L"Channel1");
    HTREEITEM nested = owner.Insert(channel, L"Root"); // a branch really named "Root"
    owner.Insert(root, L"锅炉房");
    HTREEITEM item = nullptr;
    std::string why;
    ASSERT_TRUE(host::FindTreeItem(owner.tree, {L"Root", L"Channel1", L"Root"}, item, why));
    EXPECT_EQ(nested, item);
    EXPECT_EQ((std::vector<std::wstring>{L"Channel1", L"锅炉房"}),
              host::TreeChildren(owner.tree, root));
    EXPECT_EQ(std::vector<std::wstring>{L"Root"}, host::TreeChildren(owner.tree, nullptr));
    EXPECT_FALSE(host::FindTreeItem(owner.tree, {L"Root", L"channel1"}, item, why));
    EXPECT_EQ("no item \"channel1\" under \"Root\" (there: \"Channel1\", \"锅炉房\")", why);
    EXPECT_FALSE(host::FindTreeItem(owner.tree, {L"Top"}, item, why));
    EXPECT_EQ("no item \"Top\" at the top level (there: \"Root\")", why);
}

TEST(ListDriver, ADoubleClickSelectsTheEntryThenReportsTheDoubleClick) {
    Owner owner;
    for (int i = 0; i < 60; ++i)
        SendMessageW(owner.list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>((L"Item " + std::to_wstring(i)).c_str()));
    int index = -1;
    POINT at = {};
    std::string why;
    // Far below the visible rows: the list is scrolled to it first, as a person would.
    ASSERT_TRUE(host::ListEntryPoint(owner.list, L"Item 42", index, at, why)) << why;
    EXPECT_EQ(42, index);
    host::PostDoubleClick(owner.list, at);
    Owner::Pump();
    EXPECT_EQ(42, SendMessageW(owner.list, LB_GETCURSEL, 0, 0));
    ASSERT_FALSE(owner.seen.empty());
    EXPECT_EQ("selchange", owner.seen.front());
    EXPECT_EQ("dblclk", owner.seen.back());
    EXPECT_FALSE(host::ListEntryPoint(owner.list, L"Item 60", index, at, why));
    EXPECT_EQ(0u, why.find("no entry \"Item 60\" (entries: \"Item 0\", \"Item 1\""));
    EXPECT_NE(std::string::npos, why.find("(60 in all)"));
}

} // namespace

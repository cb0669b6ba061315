// The grid control in a real dialog: its methods by dispatch id, and the events an engineer's
// clicks, keys and typing raise in the dialog's event table.
#include <gtest/gtest.h>
#include <ole2.h>

#include "grid_api.h"
#include "grid_dialog.h"

namespace {

class GridControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        RegisterTestResources();
    }
    void TearDown() override { OleUninitialize(); }

    // Runs `body` in a dialog with the grid; fails when the dialog did not run it.
    void Run(const std::function<void(GridDialog&)>& body, GridDialog* dialog = nullptr) {
        GridDialog own;
        GridDialog& d = dialog ? *dialog : own;
        bool ran = false;
        d.body = [&](GridDialog& g) {
            ASSERT_NE(nullptr, g.Grid()) << "the grid is not in the dialog";
            ran = true;
            body(g);
        };
        d.DoModal();
        EXPECT_TRUE(ran) << "the dialog did not open (is grid.dll registered?)";
    }
};

TEST_F(GridControlTest, MethodsReadBackWhatWasSet) {
    Run([](GridDialog& g) {
        EXPECT_EQ(50, g.Number(grid::kGetRowCount, {0}));
        EXPECT_EQ(S_OK, g.Call(grid::kSetRowCount, {120, 0}));
        EXPECT_EQ(120, g.Number(grid::kGetRowCount, {0}));
        g.SetText(2, 117, L"Dev.Item 117");
        g.SetText(1, 0, L"点名");
        EXPECT_EQ(L"Dev.Item 117", g.Text(2, 117));
        EXPECT_EQ(L"点名", g.Text(1, 0));
        // Column first, then row: row 117 exists, column 117 does not.
        EXPECT_EQ(E_INVALIDARG, g.Call(grid::kGetCellText, {117, 2, 0}));
        EXPECT_EQ(S_OK, g.Call(grid::kSetColumnCount, {6, 0}));
        g.SetText(5, 1, L"sixth column");
        EXPECT_EQ(L"sixth column", g.Text(5, 1));
        EXPECT_EQ(S_OK, g.Call(grid::kSetupOption, {1, 1}));
        EXPECT_EQ(1, g.Number(grid::kGetActiveColumn));
        EXPECT_EQ(1, g.Number(grid::kGetActiveRow));
    });
}

TEST_F(GridControlTest, BadCallsAreRefusedWithTheirReason) {
    Run([](GridDialog& g) {
        EXPECT_EQ(E_INVALIDARG, g.Call(grid::kGetRowCount, {1})); // sheet 0 only
        EXPECT_EQ(E_INVALIDARG, g.Call(grid::kSetCellText, {4, 1, 0}, L"x"));
        EXPECT_EQ(E_INVALIDARG, g.Call(grid::kGetCellText, {1, 50, 0}));
        EXPECT_EQ(E_INVALIDARG, g.Call(grid::kSetRowCount, {0, 0}));
        EXPECT_EQ(E_INVALIDARG, g.Call(grid::kSetColumnWidth, {1, -3, 1, 0}));
        EXPECT_EQ(E_INVALIDARG, g.Call(grid::kSetupOption, {2, 1}));
        EXPECT_EQ(DISP_E_BADPARAMCOUNT, g.Call(grid::kSetCellText, {1, 1, 0}));
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, g.Call(38, {1}));
        // A text where a number belongs does not convert; a number where text belongs does.
        EXPECT_EQ(DISP_E_TYPEMISMATCH, g.Call(grid::kSetRowCount, {0}, L"many"));
        EXPECT_EQ(S_OK, g.Call(grid::kSetCellText, {1, 1, 0, 42}));
        EXPECT_EQ(L"42", g.Text(1, 1));
        EXPECT_EQ(50, g.Number(grid::kGetRowCount, {0}));
    });
}

TEST_F(GridControlTest, SetColumnWidthSetsCountColumnsFromTheGivenOne) {
    Run([](GridDialog& g) {
        EXPECT_EQ(S_OK, g.Call(grid::kSetColumnWidth, {1, 140, 1, 0}));
        RECT first = g.CellRect(1, 1), second = g.CellRect(2, 1);
        EXPECT_EQ(140, first.right - first.left);
        EXPECT_EQ(first.right, second.left);
        EXPECT_EQ(S_OK, g.Call(grid::kSetColumnWidth, {2, 50, 2, 0}));
        second = g.CellRect(2, 1);
        const RECT third = g.CellRect(3, 1);
        EXPECT_EQ(50, second.right - second.left);
        EXPECT_EQ(50, third.right - third.left);
        EXPECT_EQ(140, g.CellRect(1, 1).right - g.CellRect(1, 1).left);
    });
}

TEST_F(GridControlTest, ClickLeavesTheCurrentCellThenSelectsTheNewOne) {
    Run([](GridDialog& g) {
        g.Click(2, 3);
        EXPECT_EQ("sel 1 1 0|sel 2 3 1", g.TakeEvents());
        EXPECT_EQ(2, g.Number(grid::kGetActiveColumn));
        EXPECT_EQ(3, g.Number(grid::kGetActiveRow));
        g.Click(2, 3);
        EXPECT_EQ("sel 2 3 1", g.TakeEvents());
        // Titles and row headers are not selectable.
        g.Click(2, 0);
        g.Click(0, 4);
        EXPECT_EQ("", g.TakeEvents());
        EXPECT_EQ(3, g.Number(grid::kGetActiveRow));
    });
}

TEST_F(GridControlTest, KeysRaiseKeyDownBeforeTheyActAndCanBeRefused) {
    Run([](GridDialog& g) {
        g.Click(2, 3);
        g.TakeEvents();
        g.Key(VK_DOWN);
        EXPECT_EQ("key 2 3 0 40 0|sel 2 3 0|sel 2 4 1", g.TakeEvents());
        g.refuseKeys = true;
        g.Key(VK_RIGHT);
        EXPECT_EQ("key 2 4 0 39 0", g.TakeEvents());
        EXPECT_EQ(2, g.Number(grid::kGetActiveColumn));
        g.refuseKeys = false;
        g.Key(VK_END);
        g.Key(VK_HOME);
        EXPECT_EQ("key 2 4 0 35 0|sel 2 4 0|sel 3 4 1|key 3 4 0 36 0|sel 3 4 0|sel 1 4 1",
                  g.TakeEvents());
    });
}

TEST_F(GridControlTest, TypingChangesTheCellWhenTheEngineerLeavesIt) {
    Run([](GridDialog& g) {
        g.Click(3, 2);
        g.TakeEvents();
        g.Type(L"Dev.设备");
        EXPECT_NE(g.Grid(), GetFocus()); // typing goes into the cell's edit box
        EXPECT_EQ("", g.TakeEvents());
        SetFocus(g.Grid());
        EXPECT_EQ("chg 3 2", g.TakeEvents());
        EXPECT_EQ(L"Dev.设备", g.Text(3, 2));

        // Typing replaces; F2 edits the text as it is; Escape throws the typing away.
        g.Type(L"x");
        g.Key(VK_RETURN);
        EXPECT_EQ(L"x", g.Text(3, 2));
        g.Key(VK_F2);
        g.Type(L"yz");
        g.Key(VK_ESCAPE);
        EXPECT_EQ(L"x", g.Text(3, 2));
        EXPECT_EQ(g.Grid(), GetFocus());
        EXPECT_EQ("chg 3 2|key 3 2 0 113 0", g.TakeEvents());

        // A double click edits too; Tab takes the text and moves on.
        g.SetText(2, 2, L"Dev.");
        g.Click(2, 2, true);
        g.Type(L"1");
        g.Key(VK_TAB);
        EXPECT_EQ(L"Dev.1", g.Text(2, 2));
        EXPECT_EQ(3, g.Number(grid::kGetActiveColumn));
    });
}

TEST_F(GridControlTest, RefusedChangePutsTheOldTextBack) {
    Run([](GridDialog& g) {
        g.SetText(2, 5, L"old");
        g.Click(2, 5);
        g.refuseChanges = true;
        g.Type(L"new");
        g.Key(VK_RETURN);
        EXPECT_EQ(L"old", g.Text(2, 5));
        EXPECT_EQ("sel 1 1 0|sel 2 5 1|chg 2 5", g.TakeEvents());
    });
}

TEST_F(GridControlTest, DeleteEmptiesTheCellUnlessTheKeyIsRefused) {
    Run([](GridDialog& g) {
        g.SetText(3, 4, L"linked");
        g.Click(3, 4);
        g.TakeEvents();
        g.refuseKeys = true;
        g.Key(VK_DELETE);
        EXPECT_EQ(L"linked", g.Text(3, 4));
        EXPECT_EQ("key 3 4 0 46 0", g.TakeEvents());
        g.refuseKeys = false;
        g.Key(VK_DELETE);
        EXPECT_EQ(L"", g.Text(3, 4));
        EXPECT_EQ("key 3 4 0 46 0|chg 3 4", g.TakeEvents());
        g.Key(VK_DELETE); // nothing left to change
        EXPECT_EQ("key 3 4 0 46 0", g.TakeEvents());
    });
}

TEST_F(GridControlTest, HandlersMayCallTheGridWhileItsEventRuns) {
    GridDialog dialog;
    std::wstring seenText;
    long seenRow = 0;
    dialog.duringEvent = [&](GridDialog& g) {
        seenRow = g.Number(grid::kGetActiveRow);
        seenText = g.Text(3, 6);
        g.SetText(1, 6, L"touched");
    };
    Run(
        [&](GridDialog& g) {
            g.SetText(3, 6, L"item");
            g.Click(3, 6);
            g.Key(VK_DELETE);
            EXPECT_EQ(6, seenRow);
            EXPECT_EQ(L"", seenText); // the change event sees the emptied cell
            EXPECT_EQ(L"touched", g.Text(1, 6));
        },
        &dialog);
}

TEST_F(GridControlTest, ThousandsOfRowsScrollToTheCellClicked) {
    Run([](GridDialog& g) {
        ASSERT_EQ(S_OK, g.Call(grid::kSetRowCount, {5001, 0}));
        for (long row = 1; row <= 5000; ++row)
            g.SetText(1, row, (L"Tag" + std::to_wstring(row)).c_str());
        RECT client;
        GetClientRect(g.Grid(), &client);
        const RECT last = g.CellRect(1, 5000);
        EXPECT_GE(last.top, 0);
        EXPECT_LE(last.bottom, client.bottom);
        g.Click(1, 5000);
        EXPECT_EQ(5000, g.Number(grid::kGetActiveRow));
        g.Key(VK_PRIOR);
        const long row = g.Number(grid::kGetActiveRow);
        EXPECT_LT(row, 5000);
        EXPECT_GT(row, 5000 - 50);
        EXPECT_EQ(L"Tag5000", g.Text(1, 5000));
    });
}

TEST_F(GridControlTest, ChangedTextRepaintsItsCellOnlyWhenTheCellIsInView) {
    Run([](GridDialog& g) {
        ASSERT_EQ(S_OK, g.Call(grid::kSetRowCount, {500, 0}));
        const RECT shown = g.CellRect(2, 1);
        UpdateWindow(g.Grid());
        RECT update;
        ASSERT_FALSE(GetUpdateRect(g.Grid(), &update, FALSE)) << "nothing to paint yet";

        g.SetText(2, 400, L"far below the view");
        EXPECT_FALSE(GetUpdateRect(g.Grid(), &update, FALSE));

        g.SetText(2, 1, L"in view");
        ASSERT_TRUE(GetUpdateRect(g.Grid(), &update, FALSE));
        RECT both;
        EXPECT_TRUE(IntersectRect(&both, &update, &shown));
        EXPECT_TRUE(EqualRect(&both, &shown)) << "the whole cell is painted again";
    });
}

} // namespace

// The grid's content and geometry without a window: bounds, the current cell, scrolling and hit
// testing.
#include <gtest/gtest.h>

#include "grid_layout.h"
#include "grid_model.h"

namespace {

using grid::Cell;
using grid::GridLayout;
using grid::GridModel;

TEST(GridModel, StartsWithFiftyRowsFourColumnsAndTheFirstDataCellCurrent) {
    GridModel model;
    EXPECT_EQ(50, model.Rows());
    EXPECT_EQ(4, model.Columns());
    EXPECT_EQ((Cell{1, 1}), model.Active());
    EXPECT_EQ(L"", model.Text({3, 49}));
}

TEST(GridModel, CountsOutsideTheirRangeAreRefusedAndChangeNothing) {
    GridModel model;
    EXPECT_FALSE(model.SetRows(0));
    EXPECT_FALSE(model.SetRows(GridModel::kMaxRows + 1));
    EXPECT_FALSE(model.SetColumns(0));
    EXPECT_FALSE(model.SetColumns(GridModel::kMaxColumns + 1));
    EXPECT_EQ(50, model.Rows());
    EXPECT_EQ(4, model.Columns());
    EXPECT_TRUE(model.SetRows(GridModel::kMaxRows));
    EXPECT_TRUE(model.SetText({3, GridModel::kMaxRows - 1}, L"last"));
    EXPECT_EQ(L"last", model.Text({3, GridModel::kMaxRows - 1}));
}

TEST(GridModel, ShrinkingDropsCellsAndKeepsTheCurrentCellInside) {
    GridModel model;
    ASSERT_TRUE(model.SetText({3, 40}, L"gone"));
    ASSERT_TRUE(model.SetText({3, 5}, L"kept"));
    ASSERT_TRUE(model.SetActive({3, 40}));
    ASSERT_TRUE(model.SetRows(10));
    EXPECT_EQ((Cell{3, 9}), model.Active());
    ASSERT_TRUE(model.SetColumns(2));
    EXPECT_EQ((Cell{1, 9}), model.Active());
    EXPECT_EQ(L"", model.Text({3, 5}));
    ASSERT_TRUE(model.SetColumns(4));
    ASSERT_TRUE(model.SetRows(50));
    EXPECT_EQ(L"", model.Text({3, 40}));
    EXPECT_EQ(L"", model.Text({3, 5})); // columns dropped are not brought back

    // Only the title row left: no data cell can be current.
    ASSERT_TRUE(model.SetRows(1));
    EXPECT_EQ((Cell{0, 0}), model.Active());
    ASSERT_TRUE(model.SetRows(3));
    EXPECT_EQ((Cell{1, 1}), model.Active());
}

TEST(GridModel, CellsOutsideTheGridAndOverlongTextsAreRefused) {
    GridModel model;
    EXPECT_FALSE(model.SetText({4, 1}, L"x"));
    EXPECT_FALSE(model.SetText({1, 50}, L"x"));
    EXPECT_FALSE(model.SetText({-1, 0}, L"x"));
    EXPECT_FALSE(model.SetText({1, 1}, std::wstring(GridModel::kMaxTextChars + 1, L'a')));
    EXPECT_TRUE(model.SetText({1, 1}, std::wstring(GridModel::kMaxTextChars, L'a')));
    EXPECT_EQ(L"", model.Text({4, 1}));
    EXPECT_FALSE(model.SetActive({0, 3})); // the row header
    EXPECT_FALSE(model.SetActive({2, 0})); // the title row
    EXPECT_TRUE(model.SetActive({3, 49}));
}

TEST(GridModel, WidthsAreSetForARangeOfColumnsOrNotAtAll) {
    GridModel model;
    EXPECT_EQ(GridModel::kHeaderWidth, model.Width(0));
    EXPECT_TRUE(model.SetWidths(1, 3, 150));
    EXPECT_EQ(150, model.Width(1));
    EXPECT_EQ(150, model.Width(3));
    EXPECT_FALSE(model.SetWidths(2, 3, 70)); // column 4 does not exist
    EXPECT_FALSE(model.SetWidths(1, 1, -1));
    EXPECT_FALSE(model.SetWidths(1, 0, 70));
    EXPECT_EQ(150, model.Width(2));
    EXPECT_EQ(0, model.Width(4));
}

TEST(GridModel, RowNumbersShowOnlyInEmptyRowHeaders) {
    GridModel model;
    EXPECT_EQ(L"", model.DisplayText({0, 5}));
    model.SetRowNumbers(true);
    EXPECT_EQ(L"5", model.DisplayText({0, 5}));
    EXPECT_EQ(L"", model.DisplayText({0, 0}));
    EXPECT_EQ(L"", model.DisplayText({1, 5}));
    ASSERT_TRUE(model.SetText({0, 5}, L"five"));
    EXPECT_EQ(L"five", model.DisplayText({0, 5}));
}

// Columns 40 (row header), 100, 100, 100 pixels; rows 20 pixels; a client area of 250 x 110
// shows the title row and four whole data rows.
class GridLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        model.SetWidths(1, 3, 100);
        layout.SetRowHeight(20);
        layout.SetClientSize(250, 110);
    }
    GridModel model;
    GridLayout layout;
};

TEST_F(GridLayoutTest, TitleRowAndRowHeadersStayWhileTheRestScrolls) {
    ASSERT_TRUE(layout.ScrollTo(model, 11, 30));
    RECT title = layout.CellRect(model, {2, 0});
    EXPECT_EQ(0, title.top);
    EXPECT_EQ(40 + 100 - 30, title.left);
    RECT header = layout.CellRect(model, {0, 12});
    EXPECT_EQ(0, header.left);
    EXPECT_EQ(40, header.top);
    RECT cell = layout.CellRect(model, {1, 11});
    EXPECT_EQ(20, cell.top);
    EXPECT_EQ(10, cell.left);
    EXPECT_EQ(110, cell.right);
}

TEST_F(GridLayoutTest, HitTestFindsTheCellWhoseRectangleHoldsThePoint) {
    layout.ScrollTo(model, 20, 45);
    for (Cell cell : {Cell{1, 20}, Cell{2, 23}, Cell{3, 21}, Cell{0, 22}, Cell{2, 0}}) {
        const RECT rect = layout.CellRect(model, cell);
        Cell hit = {-1, -1};
        ASSERT_TRUE(layout.HitTest(model, {rect.right - 1, rect.bottom - 1}, hit));
        EXPECT_EQ(cell, hit);
    }
    Cell hit;
    layout.ScrollTo(model, 1, 0);
    EXPECT_FALSE(layout.HitTest(model, {40 + 300 + 1, 30}, hit)); // right of the last column
    ASSERT_TRUE(model.SetRows(3));
    EXPECT_FALSE(layout.HitTest(model, {50, 20 * 3 + 1}, hit)); // below the last row
}

TEST_F(GridLayoutTest, ScrollingStopsAtTheEndsOfTheContent) {
    EXPECT_EQ(4, layout.PageRows());
    layout.ScrollTo(model, 1000, 1000);
    EXPECT_EQ(50 - 4, layout.TopRow());
    EXPECT_EQ(300 - (250 - 40), layout.Left());
    layout.ScrollTo(model, -5, -5);
    EXPECT_EQ(1, layout.TopRow());
    EXPECT_EQ(0, layout.Left());
    // A grid that fits does not scroll at all.
    model.SetRows(4);
    model.SetWidths(1, 3, 50);
    EXPECT_FALSE(layout.ScrollTo(model, 3, 20));
}

TEST_F(GridLayoutTest, EnsureVisibleScrollsAsLittleAsPossible) {
    EXPECT_TRUE(layout.EnsureVisible(model, {1, 10}));
    EXPECT_EQ(7, layout.TopRow()); // row 10 is the last whole row
    EXPECT_FALSE(layout.EnsureVisible(model, {1, 8}));
    EXPECT_TRUE(layout.EnsureVisible(model, {1, 2}));
    EXPECT_EQ(2, layout.TopRow());
    EXPECT_TRUE(layout.EnsureVisible(model, {3, 2}));
    EXPECT_EQ(300 - 210, layout.Left()); // column 3 ends at the right edge
    EXPECT_TRUE(layout.EnsureVisible(model, {1, 2}));
    EXPECT_EQ(0, layout.Left());
    // The title row and row headers never need scrolling.
    EXPECT_FALSE(layout.EnsureVisible(model, {0, 0}));
}

TEST_F(GridLayoutTest, VisibleRowsIncludeAPartlyShownLastRow) {
    long first = 0, last = 0;
    layout.SetClientSize(250, 115);
    layout.VisibleRows(model, first, last);
    EXPECT_EQ(1, first);
    EXPECT_EQ(5, last);
    layout.SetClientSize(250, 15); // not even the title row fits
    layout.VisibleRows(model, first, last);
    EXPECT_LT(last, first);
}

} // namespace

// The tag link table against a recording host and grid: which tag a row means, what the grid
// shows after each filling, what a link carries, and that a refusal or an OK after an edit
// loses no link and rewrites no attribute it should keep.
#include <gtest/gtest.h>

#include <string>

#include "link_fakes.h"
#include "tags/tag_link_table.h"

namespace {

using linktest::Answers;
using linktest::FakeDatabase;
using linktest::FakeGrid;
using linktest::FakeTag;
using linktest::Link;
using pelorin::CellLink;
using pelorin::LinkAttributes;
using pelorin::TagLinkTable;

LinkAttributes Attributes(int dataType, int badValue, int showValue, int readWrite) {
    LinkAttributes attributes;
    attributes.dataType = dataType;
    attributes.badValue = badValue;
    attributes.showValue = showValue;
    attributes.readWrite = readWrite;
    return attributes;
}

Link MakeLink(const std::string& parameter, const std::string& item, int dataType = 0,
              int badValue = 0, int showValue = 0, int readWrite = 0) {
    Link link;
    link.parameter = parameter;
    link.item = item;
    link.dataType = dataType;
    link.badValue = badValue;
    link.showValue = showValue;
    link.readWrite = readWrite;
    return link;
}

class LinkTableTest : public ::testing::Test {
protected:
    FakeDatabase database_;
    FakeGrid grid_;
    Answers answers_;
    TagLinkTable table_{&database_, grid_, answers_};
};

// ---------------------------------------------------------------- filling the grid

TEST_F(LinkTableTest, GridGetsARowPerTagFromFiftyTagsOn) {
    for (int i = 1; i <= 49; ++i)
        database_.Add("T" + std::to_string(i));
    table_.FillLinkGrid();
    EXPECT_EQ(0, grid_.setRowCountCalls) << "49 tags fit the grid's own 50 rows";
    EXPECT_EQ(50, grid_.rows);
    EXPECT_EQ("T49", grid_.Cell(1, 49));

    database_.Add("T50", true); // hidden tags count for the rows, not for the grid
    table_.FillLinkGrid();
    EXPECT_EQ(51, grid_.rows);
    EXPECT_EQ(49, table_.ShownTagCount());
}

TEST_F(LinkTableTest, TitlesAndOneRowPerShownTagWithItsLinks) {
    database_.Add("A").links = {MakeLink("pV", "Dev.A"), MakeLink("desc", "Dev.A.Text")};
    database_.Add("Hidden", true).links = {MakeLink("PV", "Dev.H")};
    database_.Add("B").links = {MakeLink("DESC", "Dev.B.First"), MakeLink("HI", "Dev.B.Limit")};
    database_.Add("C");
    table_.FillLinkGrid();

    EXPECT_EQ("点名", grid_.Cell(1, 0));
    EXPECT_EQ("PV连接项", grid_.Cell(2, 0));
    EXPECT_EQ("DESC连接项", grid_.Cell(3, 0));
    EXPECT_EQ("A", grid_.Cell(1, 1));
    EXPECT_EQ("Dev.A", grid_.Cell(2, 1)) << "PV in any case is column 2";
    EXPECT_EQ("Dev.A.Text", grid_.Cell(3, 1));
    EXPECT_EQ("B", grid_.Cell(1, 2)) << "the hidden tag has no row";
    EXPECT_EQ("Dev.B.Limit", grid_.Cell(3, 2))
        << "any other name lands in column 3; the later one stays";
    EXPECT_EQ("C", grid_.Cell(1, 3));
    EXPECT_EQ(3, table_.ShownTagCount());
    EXPECT_EQ(&database_.Tag("B"), table_.TagOfRow(2));
    EXPECT_EQ(&database_.Tag("C"), table_.TagOfRow(3));
}

// A refill must not leave texts that OK after an edit would link again to the wrong tags.
TEST_F(LinkTableTest, RefillLeavesNoStaleTextsInLinkCellsOrRowsAfterTheLastTag) {
    FakeTag& a = database_.Add("A");
    a.links = {MakeLink("PV", "Dev.A"), MakeLink("DESC", "Dev.A.Text")};
    database_.Add("B");
    database_.Add("C");
    table_.FillLinkGrid();
    grid_.Type(2, 2, "Typed.For.B");
    grid_.Type(3, 7, "Typed.Below");
    grid_.Type(1, 7, "NoTag");
    a.links = {MakeLink("PV", "Dev.A")}; // the DESC link went meanwhile

    table_.FillLinkGrid();
    EXPECT_EQ("Dev.A", grid_.Cell(2, 1));
    EXPECT_EQ("", grid_.Cell(3, 1));
    EXPECT_EQ("", grid_.Cell(2, 2));
    EXPECT_EQ("", grid_.Cell(3, 7));
    EXPECT_EQ("", grid_.Cell(1, 7));
}

// ---------------------------------------------------------------- linking

TEST_F(LinkTableTest, ColumnChoosesTheParameterAndTheLinkCarriesTheAttributes) {
    FakeTag& a = database_.Add("A");
    table_.FillLinkGrid();
    database_.calls.clear();

    ASSERT_TRUE(table_.LinkCellItem(3, 1, "Dev.A.Text", Attributes(4, 1, -5, 1)));
    ASSERT_NE(nullptr, a.Find("DESC"));
    EXPECT_EQ(4, a.Find("DESC")->dataType);
    EXPECT_EQ(1, a.Find("DESC")->badValue);
    EXPECT_EQ(-5, a.Find("DESC")->showValue);
    EXPECT_EQ(1, a.Find("DESC")->readWrite);
    EXPECT_EQ("Dev.A.Text", grid_.Cell(3, 1));
    // The old link for the parameter is removed before the new one is offered.
    ASSERT_EQ(3u, database_.calls.size());
    EXPECT_EQ("RemoveLink A DESC", database_.calls[1]);
    EXPECT_EQ("AddLink A DESC Dev.A.Text", database_.calls[2]);

    ASSERT_TRUE(table_.LinkCellItem(2, 1, "Dev.A", Attributes(0, 0, 0, 0)));
    EXPECT_NE(nullptr, a.Find("PV"));
    EXPECT_TRUE(answers_.told.empty());
}

// With the tag's name as the current cell the item goes to PV, and shows in the PV column
// rather than over the tag's name.
TEST_F(LinkTableTest, LinkFromTheNameColumnShowsInThePvColumn) {
    FakeTag& a = database_.Add("A");
    table_.FillLinkGrid();
    ASSERT_TRUE(table_.LinkCellItem(1, 1, "Dev.A", LinkAttributes()));
    ASSERT_NE(nullptr, a.Find("PV"));
    EXPECT_EQ("A", grid_.Cell(1, 1));
    EXPECT_EQ("Dev.A", grid_.Cell(2, 1));
}

TEST_F(LinkTableTest, LongItemIdIsSentWholeWithItsCopyCutTo63Bytes) {
    FakeTag& a = database_.Add("A");
    table_.FillLinkGrid();
    const std::string item = "Plant." + std::string(64, 'x'); // 70 bytes
    ASSERT_TRUE(table_.LinkCellItem(2, 1, item, LinkAttributes()));
    ASSERT_NE(nullptr, a.Find("PV"));
    EXPECT_EQ(item, a.Find("PV")->item);
    EXPECT_EQ(item.substr(0, 63), a.Find("PV")->copy);
}

// The host refuses an item another tag has: the tag keeps its own link, the cell its text.
TEST_F(LinkTableTest, RefusedLinkLeavesTheOldLinkAndTellsTheEngineer) {
    FakeTag& a = database_.Add("A");
    a.links = {MakeLink("PV", "Dev.A", 3, 1, 7, 1)};
    database_.Add("B").links = {MakeLink("PV", "Dev.B")};
    table_.FillLinkGrid();

    EXPECT_FALSE(table_.LinkCellItem(2, 1, "Dev.B", LinkAttributes()));
    ASSERT_EQ(1u, answers_.told.size());
    EXPECT_EQ(L"连接项 Dev.B 已经连接到点 A，不能重复连接!", answers_.told[0]);
    ASSERT_EQ(1u, a.links.size());
    EXPECT_EQ("Dev.A", a.links[0].item);
    EXPECT_EQ(3, a.links[0].dataType);
    EXPECT_EQ(7, a.links[0].showValue);
    EXPECT_EQ("Dev.A", grid_.Cell(2, 1));
}

TEST_F(LinkTableTest, RowsThatMeanNoTagLinkNothing) {
    database_.Add("A");
    database_.Add("H", true);
    database_.Add("B");
    table_.FillLinkGrid();
    database_.calls.clear();
    EXPECT_EQ(nullptr, table_.TagOfRow(0));
    EXPECT_EQ(nullptr, table_.TagOfRow(3));
    EXPECT_EQ(nullptr, table_.TagOfRow(-1));
    EXPECT_FALSE(table_.LinkCellItem(2, 0, "Dev.X", LinkAttributes()));
    EXPECT_FALSE(table_.LinkCellItem(2, 3, "Dev.X", LinkAttributes()));
    EXPECT_TRUE(database_.calls.empty());
    EXPECT_EQ("", grid_.Cell(2, 3));

    // The last shown tag is linked like any other.
    EXPECT_TRUE(table_.LinkCellItem(2, 2, "Dev.B", LinkAttributes()));
    EXPECT_NE(nullptr, database_.Tag("B").Find("PV"));
    EXPECT_EQ(nullptr, database_.Tag("H").Find("PV"));
}

// ---------------------------------------------------------------- showing and deleting

TEST_F(LinkTableTest, SelectedCellShowsItsLinkOrNothing) {
    database_.Add("A").links = {MakeLink("Hi", "Dev.A.Hi"), MakeLink("pv", "Dev.A", 2, 1, 9, 1),
                                MakeLink("Desc", "Dev.A.Text", 5)};
    database_.Add("B");
    table_.FillLinkGrid();

    CellLink link;
    ASSERT_TRUE(table_.ShowCellLink(2, 1, link));
    EXPECT_EQ("Dev.A", link.itemId);
    EXPECT_EQ(2, link.attributes.dataType);
    EXPECT_EQ(1, link.attributes.badValue);
    EXPECT_EQ(9, link.attributes.showValue);
    EXPECT_EQ(1, link.attributes.readWrite);
    ASSERT_TRUE(table_.ShowCellLink(3, 1, link));
    EXPECT_EQ("Dev.A.Text", link.itemId) << "column 3 looks for DESC, not any other name";
    EXPECT_EQ(5, link.attributes.dataType);

    link.itemId = "left over";
    link.attributes = Attributes(3, 1, 4, 1);
    ASSERT_TRUE(table_.ShowCellLink(2, 2, link));
    EXPECT_EQ("", link.itemId);
    EXPECT_EQ(0, link.attributes.dataType);
    EXPECT_EQ(0, link.attributes.badValue);
    EXPECT_EQ(0, link.attributes.showValue);
    EXPECT_EQ(0, link.attributes.readWrite);
    EXPECT_FALSE(table_.ShowCellLink(2, 3, link));
}

TEST_F(LinkTableTest, DeleteAsksAndRemovesOnlyOnYes) {
    FakeTag& a = database_.Add("A");
    a.links = {MakeLink("PV", "Dev.A"), MakeLink("DESC", "Dev.A.Text")};
    database_.Add("B");
    table_.FillLinkGrid();

    answers_.yes = false;
    EXPECT_FALSE(table_.DeleteCellLink(2, 1)) << "No cancels the key";
    EXPECT_EQ(2u, a.links.size());
    ASSERT_EQ(1u, answers_.asked.size());
    EXPECT_EQ(L"确实要删除吗？", answers_.asked[0]);

    answers_.yes = true;
    EXPECT_TRUE(table_.DeleteCellLink(3, 1));
    EXPECT_EQ(nullptr, a.Find("DESC"));
    EXPECT_NE(nullptr, a.Find("PV"));

    // No link, no question; and no tag, no question.
    EXPECT_TRUE(table_.DeleteCellLink(2, 2));
    EXPECT_TRUE(table_.DeleteCellLink(2, 9));
    EXPECT_EQ(2u, answers_.asked.size());
}

// Delete on the tag's name removes its PV link; the PV cell must not go on showing the item.
TEST_F(LinkTableTest, DeleteOnTheNameCellEmptiesThePvCellToo) {
    FakeTag& a = database_.Add("A");
    a.links = {MakeLink("PV", "Dev.A")};
    table_.FillLinkGrid();
    EXPECT_TRUE(table_.DeleteCellLink(1, 1));
    EXPECT_TRUE(a.links.empty());
    EXPECT_EQ("", grid_.Cell(2, 1));
}

// ---------------------------------------------------------------- OK after an edit

TEST_F(LinkTableTest, RebuildKeepsTheAttributesOfLinksWhoseCellsDidNotChange) {
    FakeTag& a = database_.Add("A");
    a.links = {MakeLink("PV", "Dev.A", 4, 1, 12, 1), MakeLink("DESC", "Dev.A.Text", 5, 0, 3, 0)};
    FakeTag& b = database_.Add("B");
    b.links = {MakeLink("PV", "Dev.B", 2, 0, 0, 1)};
    FakeTag& hidden = database_.Add("H", true);
    hidden.links = {MakeLink("PV", "Dev.H", 1)};
    FakeTag& c = database_.Add("C");
    table_.FillLinkGrid();

    grid_.Type(2, 2, "Dev.B2");  // changed
    grid_.Type(3, 1, "");        // emptied
    grid_.Type(3, 3, "Dev.C.D"); // new
    table_.RebuildLinks(Attributes(3, 0, 99, 0));

    ASSERT_EQ(1u, a.links.size());
    EXPECT_EQ("Dev.A", a.links[0].item);
    EXPECT_EQ(4, a.links[0].dataType);
    EXPECT_EQ(1, a.links[0].badValue);
    EXPECT_EQ(12, a.links[0].showValue);
    EXPECT_EQ(1, a.links[0].readWrite);
    ASSERT_NE(nullptr, b.Find("PV"));
    EXPECT_EQ("Dev.B2", b.Find("PV")->item);
    EXPECT_EQ(3, b.Find("PV")->dataType);
    EXPECT_EQ(99, b.Find("PV")->showValue);
    ASSERT_NE(nullptr, c.Find("DESC"));
    EXPECT_EQ(3, c.Find("DESC")->dataType);
    ASSERT_EQ(1u, hidden.links.size()) << "a tag without a row keeps its links";
    EXPECT_EQ(1, hidden.links[0].dataType);
    EXPECT_TRUE(answers_.told.empty());
}

// An item typed into a cell that another tag has: the message, and the cell's tag keeps the
// link it had before OK.
TEST_F(LinkTableTest, RebuildKeepsTheOldLinkOfACellTheHostRefuses) {
    FakeTag& a = database_.Add("A");
    a.links = {MakeLink("PV", "Dev.A", 4)};
    database_.Add("B").links = {MakeLink("PV", "Dev.B")};
    table_.FillLinkGrid();
    grid_.Type(2, 2, "Dev.A"); // B's PV cell now names A's item, linked first
    table_.RebuildLinks(Attributes(1, 0, 0, 0));

    ASSERT_EQ(1u, answers_.told.size());
    EXPECT_EQ(L"连接项 Dev.A 已经连接到点 B，不能重复连接!", answers_.told[0]);
    ASSERT_NE(nullptr, a.Find("PV"));
    EXPECT_EQ(4, a.Find("PV")->dataType);
    ASSERT_NE(nullptr, database_.Tag("B").Find("PV"));
    EXPECT_EQ("Dev.B", database_.Tag("B").Find("PV")->item);
}

} // namespace

// The device's tags in the item link dialog's grid and their links to OPC items: one row per
// shown tag (hidden tags have none), the item linked to PV in column 2 and the one linked to DESC
// in column 3. Tags and links live in the host's tag database; this table keeps only the list of
// tags that ListTags gave and which of them own the rows.
#pragma once

#include <string>
#include <vector>

#include "fw/collections.h"
#include "tags/host_tag_db.h"
#include "tags/link_attributes.h"
#include "tags/link_grid.h"

namespace pelorin {

// How the table asks and tells the engineer.
class LinkMessages {
public:
    virtual void Tell(const std::wstring& text) = 0;     // a message box with OK
    virtual bool AskYesNo(const std::wstring& text) = 0; // true: Yes

protected:
    ~LinkMessages() = default;
};

// The link a grid cell stands for, as the attribute controls show it.
struct CellLink {
    std::string itemId; // empty: the tag has no link for the cell's column
    LinkAttributes attributes;
};

class TagLinkTable {
public:
    // `database` may be null (a host without one): the table then has no tags.
    TagLinkTable(HostTagDatabase* database, LinkGrid& grid, LinkMessages& messages);
    TagLinkTable(const TagLinkTable&) = delete;
    TagLinkTable& operator=(const TagLinkTable&) = delete;

    void SetDatabase(HostTagDatabase* database) { database_ = database; }
    HostTagDatabase* Database() const { return database_; }

    // Lists the device's tags again and writes the titles, one row per shown tag with its
    // links, and empty cells where a tag has no link and in the rows after the last tag.
    void FillLinkGrid();

    // Links `item` to the tag's PV (column 2 or less) or DESC (column 3 or more) with the given
    // attributes. When the host refuses, the tag keeps the link it had and the engineer is told.
    bool LinkItemToTag(long column, HostTag* tag, const std::string& item,
                       const LinkAttributes& attributes);
    // Links `item` to the tag of the row and, on success, shows it in the cell.
    bool LinkCellItem(long column, long row, const std::string& item,
                      const LinkAttributes& attributes);
    // The link under a cell; false when the row belongs to no tag.
    bool ShowCellLink(long column, long row, CellLink& link) const;
    // Delete pressed on a cell: removes the cell's link once the engineer says Yes. False when
    // the grid must ignore the key (the engineer said No).
    bool DeleteCellLink(long column, long row);
    // After the grid was edited: every shown tag is linked anew from columns 2 and 3. A cell
    // that still shows the item its tag was linked to keeps that link's attributes; a new or
    // changed cell takes `current`; an empty cell leaves its tag without that link.
    void RebuildLinks(const LinkAttributes& current);

    // The tag of a grid row: row r (1 <= r <= shown-tag count) is the r-th tag that is not
    // hidden; null for any other row.
    HostTag* TagOfRow(long row) const;
    int ShownTagCount() const { return static_cast<int>(shown_.size()); }
    // The device's tags as ListTags gave them (the host's tags; the list's nodes are ours).
    fw::PtrList& TagList() { return tags_; }

private:
    HostTagDatabase* database_;
    LinkGrid& grid_;
    LinkMessages& messages_;
    fw::PtrList tags_{10};
    std::vector<HostTag*> shown_;
};

// Parameter names compare ignoring case; "PV" and "DESC" are the names the table writes.
bool IsPvParameter(const fw::String& parameter);
bool IsDescParameter(const fw::String& parameter);

} // namespace pelorin

#include "tags/tag_link_table.h"

#include <windows.h>

#include <optional>

#include "fw/resources.h"
#include "resources/resource.h"
#include "session/ansi_text.h"

namespace pelorin {
namespace {

constexpr long kTagColumn = 1;
constexpr long kPvColumn = 2;
constexpr long kDescColumn = 3;
// From this many tags on the grid is given one row per tag; below, its own rows suffice.
constexpr int kGrowFromTags = 50;

const char kPv[] = "PV";
const char kDesc[] = "DESC";

// Equal ignoring the case of ASCII letters. Both names the table looks for are ASCII, so this
// is the code page's multibyte-aware comparison: a lead byte (0x81 and above) never matches an
// ASCII character, and the trail bytes after it are never compared with a letter position.
bool SameNameIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const unsigned char x = static_cast<unsigned char>(*a);
        const unsigned char y = static_cast<unsigned char>(*b);
        const unsigned char fx = x >= 'A' && x <= 'Z' ? static_cast<unsigned char>(x + 32) : x;
        const unsigned char fy = y >= 'A' && y <= 'Z' ? static_cast<unsigned char>(y + 32) : y;
        if (fx != fy)
            return false;
        if (x == 0)
            return true;
    }
}

bool IsPvColumn(long column) {
    return column <= kPvColumn;
}

// The column that shows the link a column stands for.
long LinkColumn(long column) {
    return IsPvColumn(column) ? kPvColumn : kDescColumn;
}

std::wstring LoadText(UINT id) {
    std::wstring text;
    if (!fw::LoadChainString(id, text))
        text.clear();
    return text;
}

// The resource text with each "%s" replaced by the next argument, "%%" by "%".
std::wstring FormatText(const std::wstring& format, const std::vector<std::wstring>& args) {
    std::wstring text;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size()) {
            if (format[i + 1] == L's') {
                text += next < args.size() ? args[next++] : std::wstring();
                ++i;
                continue;
            }
            if (format[i + 1] == L'%') {
                text += L'%';
                ++i;
                continue;
            }
        }
        text += format[i];
    }
    return text;
}

// The tag's link that a column stands for: the first named PV (any case) for column 2 or
// less, the first named DESC (any case) otherwise.
std::optional<TagLink> FindLink(HostTag* tag, long column) {
    TagLinkArray links;
    tag->GetLinks(&links);
    for (int i = 0; i < links.GetSize(); ++i) {
        const fw::String& parameter = links[i].parameter;
        if (IsPvColumn(column) ? IsPvParameter(parameter) : IsDescParameter(parameter))
            return links[i];
    }
    return std::nullopt;
}

} // namespace

bool IsPvParameter(const fw::String& parameter) {
    return SameNameIgnoringCase(parameter.c_str(), kPv);
}

bool IsDescParameter(const fw::String& parameter) {
    return SameNameIgnoringCase(parameter.c_str(), kDesc);
}

TagLinkTable::TagLinkTable(HostTagDatabase* database, LinkGrid& grid, LinkMessages& messages)
    : database_(database), grid_(grid), messages_(messages) {}

HostTag* TagLinkTable::TagOfRow(long row) const {
    if (row < 1 || row > static_cast<long>(shown_.size()))
        return nullptr;
    return shown_[static_cast<size_t>(row - 1)];
}

void TagLinkTable::FillLinkGrid() {
    if (database_)
        database_->ListTags(&tags_);
    if (tags_.GetCount() >= kGrowFromTags)
        grid_.SetRowCount(tags_.GetCount() + 1);
    grid_.SetCellText(kTagColumn, 0, LoadText(IDS_TAG_TITLE));
    grid_.SetCellText(kPvColumn, 0, LoadText(IDS_PV_TITLE));
    grid_.SetCellText(kDescColumn, 0, LoadText(IDS_DESC_TITLE));

    shown_.clear();
    shown_.reserve(static_cast<size_t>(tags_.GetCount()));
    for (fw::PtrList::Position at = tags_.GetHeadPosition(); at;) {
        auto* tag = static_cast<HostTag*>(tags_.GetNext(at));
        if (!tag || tag->IsHidden())
            continue;
        const long row = static_cast<long>(shown_.size()) + 1;
        grid_.SetCellText(kTagColumn, row, AnsiToWide(tag->Name().str()));
        // Every link lands in one of the two cells, PV in column 2 and any other name in
        // column 3; where two land in one cell the later one stays. A cell without a link is
        // emptied, so that nothing of an earlier filling is left to be linked again at OK.
        std::string pv;
        std::string desc;
        TagLinkArray links;
        tag->GetLinks(&links);
        for (int i = 0; i < links.GetSize(); ++i)
            (IsPvParameter(links[i].parameter) ? pv : desc) = links[i].itemId.str();
        grid_.SetCellText(kPvColumn, row, AnsiToWide(pv));
        grid_.SetCellText(kDescColumn, row, AnsiToWide(desc));
        shown_.push_back(tag);
    }
    // Rows after the last tag belong to no tag; whatever an earlier filling or the engineer
    // left there goes.
    const long rows = grid_.GetRowCount();
    for (long row = static_cast<long>(shown_.size()) + 1; row < rows; ++row)
        for (long column = kTagColumn; column <= kDescColumn; ++column)
            grid_.SetCellText(column, row, std::wstring());
}

bool TagLinkTable::LinkItemToTag(long column, HostTag* tag, const std::string& item,
                                 const LinkAttributes& attributes) {
    if (!tag)
        return false;
    TagLink link;
    link.parameter = IsPvColumn(column) ? kPv : kDesc;
    link.SetItemId(item.c_str());
    attributes.CopyTo(link);
    // The host takes one link per parameter: the old one goes first, and comes back when the
    // host refuses the new one, so that a refusal changes nothing.
    const std::optional<TagLink> old = FindLink(tag, column);
    tag->RemoveLink(&link.parameter);
    if (tag->AddLink(&link))
        return true;
    if (old)
        tag->AddLink(&*old);
    messages_.Tell(FormatText(LoadText(IDS_ALREADY_LINKED),
                              {AnsiToWide(item), AnsiToWide(tag->Name().str())}));
    return false;
}

bool TagLinkTable::LinkCellItem(long column, long row, const std::string& item,
                                const LinkAttributes& attributes) {
    HostTag* tag = TagOfRow(row);
    if (!tag || !LinkItemToTag(column, tag, item, attributes))
        return false;
    // The item shows in the column of the parameter it was linked to, also when the current
    // cell was the tag's name.
    grid_.SetCellText(LinkColumn(column), row, AnsiToWide(item));
    return true;
}

bool TagLinkTable::ShowCellLink(long column, long row, CellLink& link) const {
    HostTag* tag = TagOfRow(row);
    if (!tag)
        return false;
    link = CellLink();
    if (const std::optional<TagLink> found = FindLink(tag, column)) {
        link.itemId = found->itemId.str();
        link.attributes = LinkAttributes::Of(*found);
    }
    return true;
}

bool TagLinkTable::DeleteCellLink(long column, long row) {
    HostTag* tag = TagOfRow(row);
    if (!tag || !FindLink(tag, column))
        return true; // no link under the cell: the grid deletes its text as usual
    if (!messages_.AskYesNo(LoadText(IDS_CONFIRM_DELETE)))
        return false;
    const fw::String parameter = IsPvColumn(column) ? kPv : kDesc;
    tag->RemoveLink(&parameter);
    // The key empties the current cell; the link's own cell must not show the item any more
    // either, or OK after an edit would link it again.
    if (LinkColumn(column) != column)
        grid_.SetCellText(LinkColumn(column), row, std::wstring());
    return true;
}

void TagLinkTable::RebuildLinks(const LinkAttributes& current) {
    // The links as they were, so that a cell still showing its item keeps that link's
    // attributes, and a refused cell its old link.
    struct Before {
        std::optional<TagLink> pv;
        std::optional<TagLink> desc;
    };
    std::vector<Before> before(shown_.size());
    for (size_t i = 0; i < shown_.size(); ++i) {
        before[i].pv = FindLink(shown_[i], kPvColumn);
        before[i].desc = FindLink(shown_[i], kDescColumn);
        shown_[i]->ClearLinks();
    }
    const long rows = grid_.GetRowCount();
    for (long row = 1; row < rows; ++row) {
        for (long column = kPvColumn; column <= kDescColumn; ++column) {
            const std::string text = grid_.GetCellText(column, row);
            if (text.empty())
                continue;
            HostTag* tag = TagOfRow(row);
            if (!tag)
                continue; // a row after the last tag: nothing to link
            const Before& was = before[static_cast<size_t>(row - 1)];
            const std::optional<TagLink>& old = column == kPvColumn ? was.pv : was.desc;
            const bool unchanged = old && old->itemId.str() == text;
            if (!LinkCellItem(column, row, text, unchanged ? LinkAttributes::Of(*old) : current) &&
                old)
                tag->AddLink(&*old);
        }
    }
}

} // namespace pelorin

// Make OPC Tag: one tag per item of every top-level branch of the server, named from its item
// id (tag_name.h) and linked to the item through its PV parameter, at most kTagLimit tags per
// device. Plain logic over what the item link dialog lends it for one button's run (TagRun);
// the dialog's buttons call MakeOpcTags and MakeOpcTagsAdvanced.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tags/alias_file.h"
#include "tags/browse_node.h"
#include "tags/host_tag_db.h"

namespace pelorin {

// Tags one device holds at most.
constexpr int kTagLimit = 4000;
// The grid column that stands for the PV parameter.
constexpr int kPvColumn = 2;

// What a run borrows from the item link dialog.
struct TagRun {
    const BrowseInterface& browse; // the dialog's browse interface member
    HostTagDatabase* tagDatabase;  // the device's, from the record (null: nothing is made)
    const AliasMap& aliases;       // from AliasFile.txt
    int& shownTagCount;            // the grid's shown-tag count: the running count of the limit
    // The dialog's LinkItemToTag: links `item` to the tag's parameter for `column` with the
    // attributes the dialog holds; false (after telling the engineer) when the host refused.
    std::function<bool(int column, HostTag* tag, const std::string& item)> linkItemToTag;
    std::function<void()> fillLinkGrid; // reloads the grid and recounts the shown tags
    MessageSink showMessage;
};

// Makes the tags of one top-level branch from a snapshot of it: in the order of the walk, one
// CreateTag(0, 0, name, "") per distinct item id, then LinkItemToTag(column 2, ...). A tag the
// host refuses to create is skipped and not counted. False when the tag limit stopped it: before
// each tag when the count is at the limit, and after each tag that brought it there.
bool CreateTagsForBranch(TagRun& run, const std::string& branch, const std::string& alias);

// Button 12021: every branch of `branches` (the children of the browse tree's "Root", in tree
// order) until the limit stops the run, then the grid is filled anew and the engineer told
// either that the device is full (string 10) or how many tags it shows now (string 11).
void MakeOpcTags(TagRun& run, const std::vector<std::string>& branches);
// Button 12025 ("Advance", never shown): the same run with the snapshot depth limit set to 1 for
// good, so that each snapshot takes only items two levels below the server's root; it tells
// nothing.
void MakeOpcTagsAdvanced(TagRun& run, const std::vector<std::string>& branches);

} // namespace pelorin

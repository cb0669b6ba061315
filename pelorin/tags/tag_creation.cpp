#include "tags/tag_creation.h"

#include <memory>

#include "fw/app.h"
#include "fw/resources.h"
#include "fw/string.h"
#include "resources/resource.h"
#include "tags/depth_limit.h"
#include "tags/tag_name.h"

namespace pelorin {
namespace {

std::wstring LoadText(UINT id) {
    std::wstring text;
    fw::LoadChainString(id, text);
    return text;
}

// String 11 with its "%d" replaced by the count.
std::wstring TagsMadeText(int count) {
    std::wstring text = LoadText(IDS_TAGS_MADE);
    const size_t at = text.find(L"%d");
    if (at != std::wstring::npos)
        text.replace(at, 2, std::to_wstring(count));
    return text;
}

void Show(const TagRun& run, const std::wstring& text) {
    if (run.showMessage)
        run.showMessage(text);
}

// Runs CreateTagsForBranch over the branches; false when the limit stopped it. Memory running
// out in a snapshot ends the run early; the tags made so far stay and are counted.
bool CreateForBranches(TagRun& run, const std::vector<std::string>& branches, bool advanced) {
    try {
        for (const std::string& branch : branches) {
            if (advanced)
                LimitSnapshotsToSubBranchItems();
            if (!CreateTagsForBranch(run, branch, AliasOf(run.aliases, branch)))
                return false;
        }
    } catch (...) {
    }
    return true;
}

void RefillGrid(TagRun& run) {
    try {
        if (run.fillLinkGrid)
            run.fillLinkGrid();
    } catch (...) {
    }
}

} // namespace

bool CreateTagsForBranch(TagRun& run, const std::string& branch, const std::string& alias) {
    ItemIdMap map;
    // Declared after the map, so that the tree goes first.
    const std::unique_ptr<BrowseNode> snapshot(new BrowseNode(map, run.browse, branch, 0));
    const fw::String description("");
    for (BrowseNode* leaf : map.InWalkOrder()) {
        if (run.shownTagCount >= kTagLimit)
            return false;
        const fw::String name(MakeTagName(leaf->ItemId(), branch, alias));
        HostTag* tag =
            run.tagDatabase ? run.tagDatabase->CreateTag(0, 0, &name, &description) : nullptr;
        if (!tag)
            continue; // the host refused the name: nothing to link, nothing counted
        if (run.linkItemToTag)
            run.linkItemToTag(kPvColumn, tag, leaf->ItemId());
        if (++run.shownTagCount >= kTagLimit)
            return false;
    }
    return true;
}

void MakeOpcTags(TagRun& run, const std::vector<std::string>& branches) {
    fw::WaitCursor wait;
    const bool limitHit = !CreateForBranches(run, branches, false);
    RefillGrid(run);
    try {
        Show(run, limitHit ? LoadText(IDS_TAG_LIMIT) : TagsMadeText(run.shownTagCount));
    } catch (...) {
    }
}

void MakeOpcTagsAdvanced(TagRun& run, const std::vector<std::string>& branches) {
    fw::WaitCursor wait;
    CreateForBranches(run, branches, true);
    RefillGrid(run);
}

} // namespace pelorin

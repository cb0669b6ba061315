// What the item link dialog lends a Make OPC Tag run, played by the test: the host's tag
// database (platform/host, with its policies), the alias map, the shown-tag count, a
// LinkItemToTag and a FillLinkGrid that behave as the dialog's, and the texts it would show.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tagdb.h"
#include "tags/tag_creation.h"
#include "tags_world.h"

namespace tagtest {

class DialogStandIn {
public:
    // `earlierTags`: tags the device showed before, beside those of the host's database (the
    // count the grid starts from; the host's database need not hold thousands of tags for it).
    explicit DialogStandIn(const wchar_t* progId = nullptr, int earlierTags = 0);

    pelorin::TagRun Run();
    void MakeOpcTags(const std::vector<std::string>& branches);
    void MakeOpcTagsAdvanced(const std::vector<std::string>& branches);

    // The names of the tags the host holds, in creation order, and the item linked to a tag's PV.
    std::vector<std::string> TagNames() const;
    std::string PvOf(const std::string& tag) const;

    std::unique_ptr<ServerUnderTest> server;
    pelorin::BrowseInterface browse; // the dialog's member (the server's, or none)
    host::TagDatabase database;
    pelorin::AliasMap aliases;
    int shownTagCount = 0;
    int earlierTags = 0;
    int fills = 0;
    std::vector<std::wstring> messages;

    // As the dialog fills its grid: the shown-tag count anew (earlier tags + the host's visible).
    void FillLinkGrid();

private:
    bool LinkItemToTag(int column, pelorin::HostTag* tag, const std::string& item);
};

// The texts of strings 10 and 11 (with a count).
std::wstring DeviceFullText();
std::wstring TagsMadeText(int count);
// What the stand-in shows when the host refuses a link.
std::wstring LinkRefusedText(const std::string& item);

} // namespace tagtest

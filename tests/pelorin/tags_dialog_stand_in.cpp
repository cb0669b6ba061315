#include "tags_dialog_stand_in.h"

namespace tagtest {

DialogStandIn::DialogStandIn(const wchar_t* progId, int earlier) : earlierTags(earlier) {
    if (progId) {
        server = std::make_unique<ServerUnderTest>(progId);
        browse = server->browse;
    }
    FillLinkGrid();
    fills = 0;
}

pelorin::TagRun DialogStandIn::Run() {
    return pelorin::TagRun{browse,
                           &database,
                           aliases,
                           shownTagCount,
                           [this](int column, pelorin::HostTag* tag, const std::string& item) {
                               return LinkItemToTag(column, tag, item);
                           },
                           [this] { FillLinkGrid(); },
                           [this](const std::wstring& text) { messages.push_back(text); }};
}

void DialogStandIn::MakeOpcTags(const std::vector<std::string>& branches) {
    pelorin::TagRun run = Run();
    pelorin::MakeOpcTags(run, branches);
}

void DialogStandIn::MakeOpcTagsAdvanced(const std::vector<std::string>& branches) {
    pelorin::TagRun run = Run();
    pelorin::MakeOpcTagsAdvanced(run, branches);
}

// As the dialog links an item: the parameter of the column, the item and its 63-byte copy, the
// dialog's attributes; the old link for that parameter removed first.
bool DialogStandIn::LinkItemToTag(int column, pelorin::HostTag* tag, const std::string& item) {
    pelorin::TagLink link;
    link.parameter = column <= 2 ? "PV" : "DESC";
    link.SetItemId(item.c_str());
    tag->RemoveLink(&link.parameter);
    if (tag->AddLink(&link))
        return true;
    messages.push_back(LinkRefusedText(item));
    return false;
}

void DialogStandIn::FillLinkGrid() {
    ++fills;
    fw::PtrList tags;
    database.ListTags(&tags);
    shownTagCount = earlierTags;
    for (fw::PtrList::Position at = tags.GetHeadPosition(); at;) {
        auto* tag = static_cast<pelorin::HostTag*>(tags.GetNext(at));
        if (!tag->IsHidden())
            ++shownTagCount;
    }
}

std::vector<std::string> DialogStandIn::TagNames() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < database.Count(); ++i)
        names.push_back(database.At(i)->Data().name);
    return names;
}

std::string DialogStandIn::PvOf(const std::string& tag) const {
    const host::Tag* found = database.Find(tag);
    const host::LinkData* link = found ? found->Data().Link("PV") : nullptr;
    return link ? link->item : std::string("(none)");
}

std::wstring DeviceFullText() {
    return L"当前设备已经创建了设备所支持的最大点数(4000点),\r\n请使用下一个设备继续建点！";
}

std::wstring TagsMadeText(int count) {
    return L"当前设备完成建点" + std::to_wstring(count) + L"个！";
}

std::wstring LinkRefusedText(const std::string& item) {
    return L"refused " + Wide(item);
}

} // namespace tagtest

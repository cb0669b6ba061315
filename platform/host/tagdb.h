// The host's tag database: the device's tags with their links, as the plug-in reaches them
// through the shared interface. It keeps two states: what the plug-in works on, and what was
// last committed (by Save, or loaded from the device file). Only the committed state goes back
// into the device file.
//
// Policies (the interface leaves them to the host):
// - CreateTag refuses an empty name and a name that exists already, ignoring case (null).
//   Its two integer arguments are ignored. A new tag is visible and has no links.
// - ListTags empties the list it is given and fills it with every tag in creation order.
// - AddLink refuses an empty parameter name, an empty item id, and an item id linked to another
//   tag (item ids compare exactly). A link for a parameter the tag has already (ignoring case)
//   replaces that link.
// - RemoveLink removes the tag's link for that parameter name, ignoring case.
// - IsHidden is the hidden flag of the device file.
//
// Names and item ids are kept in indexes, so that a run creating and linking thousands of tags
// costs time in proportion to their number, not its square.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "pelorin/tags/host_tag_db.h"

namespace host {

// Texts are bytes in the process code page, as the plug-in exchanges them.
struct LinkData {
    std::string parameter;
    std::string item;
    int32_t dataType = 0;
    int32_t badValue = 0;
    int32_t showValue = 0;
    int32_t readWrite = 0;
};

struct TagData {
    std::string name;
    std::string description;
    bool hidden = false;
    std::vector<LinkData> links;

    // The link for a parameter name, ignoring case; null when there is none.
    const LinkData* Link(const std::string& parameter) const;
};

// Names and parameter names compare ignoring case, in the process code page: two names are the
// same when their keys are. The key is the name in UTF-16, upper-cased.
std::wstring NameKey(const std::string& name);
bool SameName(const std::string& a, const std::string& b);

class TagDatabase;

class Tag final : public pelorin::HostTag {
public:
    Tag(TagDatabase& database, TagData data) : database_(database), data_(std::move(data)) {}
    const TagData& Data() const { return data_; }

    fw::String Name() override;
    int ReservedSlot2() override { return 0; }
    int ReservedSlot3() override { return 0; }
    int ReservedSlot4() override { return 0; }
    int ReservedSlot5() override { return 0; }
    int ReservedSlot6() override { return 0; }
    int IsHidden() override { return data_.hidden ? 1 : 0; }
    int GetLinks(pelorin::TagLinkArray* links) override;
    int AddLink(const pelorin::TagLink* link) override;
    int ReservedSlot10() override { return 0; }
    int RemoveLink(const fw::String* parameter) override;
    int ClearLinks() override;

private:
    TagDatabase& database_;
    TagData data_;
};

class TagDatabase final : public pelorin::HostTagDatabase {
public:
    TagDatabase() = default;
    ~TagDatabase() = default;
    TagDatabase(const TagDatabase&) = delete;
    TagDatabase& operator=(const TagDatabase&) = delete;

    // Replaces everything with tags from the device file. False with a message, and nothing
    // changed, when they break a policy (empty or repeated names, an item linked twice).
    bool Load(const std::vector<TagData>& tags, std::string& error);
    // Adds committed tags, as if the device file had them; nothing when one breaks a policy.
    bool AddCommitted(const TagData& tag, std::string& error);
    bool AddCommitted(const std::vector<TagData>& tags, std::string& error);

    const std::vector<TagData>& Committed() const { return committed_; }
    size_t Count() const { return tags_.size(); }
    Tag* At(size_t index) const { return tags_[index].get(); }
    Tag* Find(const std::string& name) const;
    // The tag that has a link to this item id, or null.
    const Tag* LinkOwner(const std::string& item) const;

    int ListTags(fw::PtrList* tags) override;
    int ReservedSlot2() override { return 0; }
    int Save() override;
    pelorin::HostTag* CreateTag(int reserved1, int reserved2, const fw::String* name,
                                const fw::String* description) override;

private:
    friend class Tag;

    static bool Check(const std::vector<TagData>& tags, std::string& error);
    void Append(const TagData& data);
    // The item index follows every link a tag gains or loses.
    void LinkAdded(const std::string& item, Tag* tag);
    void LinkRemoved(const std::string& item);

    // Tags keep their addresses while the host runs: the plug-in holds pointers to them.
    std::vector<std::unique_ptr<Tag>> tags_;
    std::vector<TagData> committed_;
    // Name key -> tag, and item id -> the tag that links it with how many of its links (one tag
    // may link an item to two parameters).
    std::unordered_map<std::wstring, Tag*> byName_;
    struct Owner {
        Tag* tag;
        int links;
    };
    std::unordered_map<std::string, Owner> byItem_;
};

} // namespace host

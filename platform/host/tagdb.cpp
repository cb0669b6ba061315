#include "tagdb.h"

#include <windows.h>

#include <algorithm>

namespace host {

std::wstring NameKey(const std::string& name) {
    // Most names are ASCII, which every ANSI code page holds as it is and whose upper case is
    // that of the letters a to z: no trip through the system's tables.
    std::wstring ascii;
    ascii.reserve(name.size());
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80)
            break;
        ascii += static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    if (ascii.size() == name.size())
        return ascii;
    std::wstring key = fw::ToWide(name.c_str());
    if (key.empty())
        return key;
    // Upper case by the system's table, independent of any user's locale.
    const int length = static_cast<int>(key.size());
    std::wstring upper(key.size(), L'\0');
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, key.data(), length, &upper[0], length) ==
        length)
        return upper;
    return key;
}

bool SameName(const std::string& a, const std::string& b) {
    return NameKey(a) == NameKey(b);
}

const LinkData* TagData::Link(const std::string& parameter) const {
    for (const LinkData& link : links)
        if (SameName(link.parameter, parameter))
            return &link;
    return nullptr;
}

// Every operation below is called from the plug-in's module: nothing may unwind out of it.

fw::String Tag::Name() {
    try {
        return fw::String(data_.name);
    } catch (...) {
        return fw::String();
    }
}

int Tag::GetLinks(pelorin::TagLinkArray* links) {
    if (!links)
        return 0;
    try {
        for (const LinkData& data : data_.links) {
            pelorin::TagLink link;
            link.parameter = data.parameter;
            link.SetItemId(data.item.c_str());
            link.dataType = data.dataType;
            link.badValue = data.badValue;
            link.showValue = data.showValue;
            link.readWrite = data.readWrite;
            if (links->Add(link) < 0)
                return 0;
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

int Tag::AddLink(const pelorin::TagLink* link) {
    if (!link)
        return 0;
    try {
        LinkData data;
        data.parameter = link->parameter.str();
        data.item = link->itemId.str();
        if (data.parameter.empty() || data.item.empty())
            return 0;
        const Tag* owner = database_.LinkOwner(data.item);
        if (owner && owner != this)
            return 0;
        data.dataType = link->dataType;
        data.badValue = link->badValue;
        data.showValue = link->showValue;
        data.readWrite = link->readWrite;
        const std::wstring parameter = NameKey(data.parameter);
        LinkData* replaced = nullptr;
        for (LinkData& existing : data_.links)
            if (!replaced && NameKey(existing.parameter) == parameter)
                replaced = &existing;
        if (!replaced)
            data_.links.reserve(data_.links.size() + 1);
        // The index learns of the new link before it forgets the one it replaces: an item that
        // both link must stay this tag's. Nothing below throws.
        database_.LinkAdded(data.item, this);
        if (replaced) {
            database_.LinkRemoved(replaced->item);
            *replaced = std::move(data);
        } else {
            data_.links.push_back(std::move(data));
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

int Tag::RemoveLink(const fw::String* parameter) {
    if (!parameter)
        return 0;
    try {
        const std::wstring name = NameKey(parameter->str());
        std::vector<bool> goes;
        goes.reserve(data_.links.size());
        for (const LinkData& link : data_.links)
            goes.push_back(NameKey(link.parameter) == name);
        std::vector<LinkData> kept;
        kept.reserve(data_.links.size());
        // Nothing below throws: the index forgets exactly the links that go.
        bool removed = false;
        for (size_t i = 0; i < data_.links.size(); ++i) {
            if (goes[i]) {
                database_.LinkRemoved(data_.links[i].item);
                removed = true;
            } else {
                kept.push_back(std::move(data_.links[i]));
            }
        }
        data_.links.swap(kept);
        return removed ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int Tag::ClearLinks() {
    for (const LinkData& link : data_.links)
        database_.LinkRemoved(link.item);
    data_.links.clear();
    return 1;
}

bool TagDatabase::Check(const std::vector<TagData>& tags, std::string& error) {
    // One pass with indexes: the first tag of each name, and the first tag linking each item.
    std::unordered_map<std::wstring, size_t> names;
    std::unordered_map<std::string, size_t> items;
    names.reserve(tags.size());
    for (size_t i = 0; i < tags.size(); ++i) {
        const TagData& tag = tags[i];
        const std::string which = "tag " + std::to_string(i + 1);
        if (tag.name.empty()) {
            error = which + " has no name";
            return false;
        }
        const auto name = names.emplace(NameKey(tag.name), i);
        if (!name.second) {
            error = which + " repeats the name of tag " + std::to_string(name.first->second + 1);
            return false;
        }
        for (size_t k = 0; k < tag.links.size(); ++k) {
            const LinkData& link = tag.links[k];
            if (link.parameter.empty() || link.item.empty()) {
                error = which + ": a link needs a parameter and an item";
                return false;
            }
            if (tag.Link(link.parameter) != &link) {
                error = which + " has two links for one parameter";
                return false;
            }
            const auto item = items.emplace(link.item, i);
            if (!item.second && item.first->second != i) {
                error = "tag " + std::to_string(item.first->second + 1) + " and tag " +
                        std::to_string(i + 1) + " link the same item";
                return false;
            }
        }
    }
    return true;
}

void TagDatabase::Append(const TagData& data) {
    tags_.push_back(std::make_unique<Tag>(*this, data));
    Tag* tag = tags_.back().get();
    byName_.emplace(NameKey(data.name), tag);
    for (const LinkData& link : data.links)
        LinkAdded(link.item, tag);
}

void TagDatabase::LinkAdded(const std::string& item, Tag* tag) {
    Owner& owner = byItem_.emplace(item, Owner{tag, 0}).first->second;
    ++owner.links;
}

void TagDatabase::LinkRemoved(const std::string& item) {
    const auto found = byItem_.find(item);
    if (found != byItem_.end() && --found->second.links <= 0)
        byItem_.erase(found);
}

bool TagDatabase::Load(const std::vector<TagData>& tags, std::string& error) {
    if (!Check(tags, error))
        return false;
    tags_.clear();
    byName_.clear();
    byItem_.clear();
    for (const TagData& tag : tags)
        Append(tag);
    committed_ = tags;
    return true;
}

bool TagDatabase::AddCommitted(const TagData& tag, std::string& error) {
    return AddCommitted(std::vector<TagData>{tag}, error);
}

bool TagDatabase::AddCommitted(const std::vector<TagData>& tags, std::string& error) {
    std::vector<TagData> all = committed_;
    all.insert(all.end(), tags.begin(), tags.end());
    if (!Check(all, error))
        return false;
    for (const TagData& tag : tags)
        Append(tag);
    committed_ = std::move(all);
    return true;
}

Tag* TagDatabase::Find(const std::string& name) const {
    const auto found = byName_.find(NameKey(name));
    return found == byName_.end() ? nullptr : found->second;
}

const Tag* TagDatabase::LinkOwner(const std::string& item) const {
    const auto found = byItem_.find(item);
    return found == byItem_.end() ? nullptr : found->second.tag;
}

int TagDatabase::ListTags(fw::PtrList* tags) {
    if (!tags)
        return 0;
    tags->RemoveAll();
    for (const std::unique_ptr<Tag>& tag : tags_) {
        if (!tags->AddTail(static_cast<pelorin::HostTag*>(tag.get()))) {
            tags->RemoveAll(); // all or nothing
            return 0;
        }
    }
    return 1;
}

int TagDatabase::Save() {
    try {
        std::vector<TagData> state;
        state.reserve(tags_.size());
        for (const std::unique_ptr<Tag>& tag : tags_)
            state.push_back(tag->Data());
        committed_.swap(state);
        return 1;
    } catch (...) {
        return 0;
    }
}

pelorin::HostTag* TagDatabase::CreateTag(int, int, const fw::String* name,
                                         const fw::String* description) {
    if (!name || name->empty())
        return nullptr;
    try {
        std::wstring key = NameKey(name->str());
        if (byName_.count(key))
            return nullptr;
        TagData data;
        data.name = name->str();
        data.description = description ? description->str() : std::string();
        tags_.push_back(std::make_unique<Tag>(*this, std::move(data)));
        Tag* tag = tags_.back().get();
        try {
            byName_.emplace(std::move(key), tag);
        } catch (...) {
            tags_.pop_back(); // a tag the index does not know would be created twice
            throw;
        }
        return tag;
    } catch (...) {
        return nullptr;
    }
}

} // namespace host

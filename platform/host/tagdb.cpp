#include "tagdb.h"

#include <windows.h>

#include <algorithm>

namespace host {

bool SameName(const std::string& a, const std::string& b) {
    const std::wstring wa = fw::ToWide(a.c_str()), wb = fw::ToWide(b.c_str());
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
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
        for (LinkData& existing : data_.links) {
            if (SameName(existing.parameter, data.parameter)) {
                existing = data;
                return 1;
            }
        }
        data_.links.push_back(data);
        return 1;
    } catch (...) {
        return 0;
    }
}

int Tag::RemoveLink(const fw::String* parameter) {
    if (!parameter)
        return 0;
    try {
        const std::string name = parameter->str();
        const size_t before = data_.links.size();
        data_.links.erase(
            std::remove_if(data_.links.begin(), data_.links.end(),
                           [&](const LinkData& link) { return SameName(link.parameter, name); }),
            data_.links.end());
        return data_.links.size() != before ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int Tag::ClearLinks() {
    data_.links.clear();
    return 1;
}

bool TagDatabase::Check(const std::vector<TagData>& tags, std::string& error) {
    for (size_t i = 0; i < tags.size(); ++i) {
        const TagData& tag = tags[i];
        const std::string which = "tag " + std::to_string(i + 1);
        if (tag.name.empty()) {
            error = which + " has no name";
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (SameName(tags[j].name, tag.name)) {
                error = which + " repeats the name of tag " + std::to_string(j + 1);
                return false;
            }
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
            for (size_t j = 0; j < tags.size(); ++j) {
                if (j == i)
                    continue;
                for (const LinkData& other : tags[j].links) {
                    if (other.item == link.item) {
                        error = which + " and tag " + std::to_string(j + 1) + " link the same item";
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

bool TagDatabase::Load(const std::vector<TagData>& tags, std::string& error) {
    if (!Check(tags, error))
        return false;
    tags_.clear();
    for (const TagData& tag : tags)
        tags_.push_back(std::make_unique<Tag>(*this, tag));
    committed_ = tags;
    return true;
}

bool TagDatabase::AddCommitted(const TagData& tag, std::string& error) {
    std::vector<TagData> all = committed_;
    all.push_back(tag);
    if (!Check(all, error))
        return false;
    tags_.push_back(std::make_unique<Tag>(*this, tag));
    committed_ = std::move(all);
    return true;
}

Tag* TagDatabase::Find(const std::string& name) const {
    for (const std::unique_ptr<Tag>& tag : tags_)
        if (SameName(tag->Data().name, name))
            return tag.get();
    return nullptr;
}

const Tag* TagDatabase::LinkOwner(const std::string& item) const {
    for (const std::unique_ptr<Tag>& tag : tags_)
        for (const LinkData& link : tag->Data().links)
            if (link.item == item)
                return tag.get();
    return nullptr;
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
        if (Find(name->str()))
            return nullptr;
        TagData data;
        data.name = name->str();
        data.description = description ? description->str() : std::string();
        tags_.push_back(std::make_unique<Tag>(*this, std::move(data)));
        return tags_.back().get();
    } catch (...) {
        return nullptr;
    }
}

} // namespace host

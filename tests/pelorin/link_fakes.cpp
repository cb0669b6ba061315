#include "link_fakes.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace linktest {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::wstring Wide(const std::string& ansi) {
    const int n =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n,
                            nullptr, nullptr);
    return text;
}

int FakeTag::GetLinks(pelorin::TagLinkArray* array) {
    database_.calls.push_back("GetLinks " + name_);
    for (const Link& link : links) {
        pelorin::TagLink record;
        record.parameter = link.parameter;
        record.SetItemId(link.item.c_str());
        record.dataType = link.dataType;
        record.badValue = link.badValue;
        record.showValue = link.showValue;
        record.readWrite = link.readWrite;
        array->Add(record);
    }
    return 1;
}

int FakeTag::AddLink(const pelorin::TagLink* record) {
    const std::string parameter = record->parameter.str();
    const std::string item = record->itemId.str();
    database_.calls.push_back("AddLink " + name_ + " " + parameter + " " + item);
    FakeTag* owner = database_.Owner(item);
    if (parameter.empty() || item.empty() || (owner && owner != this))
        return 0;
    RemoveLink(&record->parameter);
    database_.calls.pop_back(); // the replacement is part of this call
    Link link;
    link.parameter = parameter;
    link.item = item;
    link.dataType = record->dataType;
    link.badValue = record->badValue;
    link.showValue = record->showValue;
    link.readWrite = record->readWrite;
    link.copy.assign(record->itemIdCopy, strnlen(record->itemIdCopy, sizeof record->itemIdCopy));
    links.push_back(link);
    return 1;
}

int FakeTag::RemoveLink(const fw::String* parameter) {
    database_.calls.push_back("RemoveLink " + name_ + " " + parameter->str());
    links.erase(std::remove_if(links.begin(), links.end(),
                               [&](const Link& link) {
                                   return SameIgnoringCase(link.parameter, parameter->str());
                               }),
                links.end());
    return 1;
}

int FakeTag::ClearLinks() {
    database_.calls.push_back("ClearLinks " + name_);
    links.clear();
    return 1;
}

const Link* FakeTag::Find(const std::string& parameter) const {
    for (const Link& link : links)
        if (link.parameter == parameter)
            return &link;
    return nullptr;
}

FakeTag& FakeDatabase::Add(const std::string& name, bool hidden) {
    tags.push_back(std::make_unique<FakeTag>(*this, name, hidden));
    return *tags.back();
}

FakeTag& FakeDatabase::Tag(const std::string& name) {
    for (auto& tag : tags)
        if (tag->TagName() == name)
            return *tag;
    throw std::out_of_range(name);
}

FakeTag* FakeDatabase::Owner(const std::string& item) {
    for (auto& tag : tags)
        for (const Link& link : tag->links)
            if (link.item == item)
                return tag.get();
    return nullptr;
}

int FakeDatabase::ListTags(fw::PtrList* list) {
    calls.push_back("ListTags");
    list->RemoveAll();
    for (auto& tag : tags)
        list->AddTail(static_cast<pelorin::HostTag*>(tag.get()));
    return 1;
}

void FakeGrid::SetCellText(long column, long row, const std::wstring& text) {
    ++setCellTextCalls;
    cells[{column, row}] = text;
}

std::string FakeGrid::GetCellText(long column, long row) {
    const auto found = cells.find({column, row});
    if (found == cells.end())
        return std::string();
    const std::wstring& wide = found->second;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(n), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], n,
                            nullptr, nullptr);
    return ansi;
}

std::string FakeGrid::Cell(long column, long row) const {
    const auto found = cells.find({column, row});
    return found == cells.end() ? std::string() : Utf8(found->second);
}

void FakeGrid::Type(long column, long row, const std::string& ansi) {
    cells[{column, row}] = Wide(ansi);
}

} // namespace linktest

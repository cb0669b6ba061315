// Stand-ins for what the tag link table talks to: a host tag database that records every call
// and refuses an item another tag has linked (as a host does), a grid that keeps its cells in a
// map and counts its calls, and the engineer's answers to message boxes.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tags/host_tag_db.h"
#include "tags/link_grid.h"
#include "tags/tag_link_table.h"

namespace linktest {

struct Link {
    std::string parameter;
    std::string item;
    int32_t dataType = 0;
    int32_t badValue = 0;
    int32_t showValue = 0;
    int32_t readWrite = 0;
    std::string copy; // the 64-byte field as the host received it
};

class FakeDatabase;

class FakeTag final : public pelorin::HostTag {
public:
    FakeTag(FakeDatabase& database, std::string name, bool hidden)
        : database_(database), name_(std::move(name)), hidden_(hidden) {}

    fw::String Name() override { return name_; }
    int ReservedSlot2() override { return 0; }
    int ReservedSlot3() override { return 0; }
    int ReservedSlot4() override { return 0; }
    int ReservedSlot5() override { return 0; }
    int ReservedSlot6() override { return 0; }
    int IsHidden() override { return hidden_ ? 1 : 0; }
    int GetLinks(pelorin::TagLinkArray* links) override;
    int AddLink(const pelorin::TagLink* link) override;
    int ReservedSlot10() override { return 0; }
    int RemoveLink(const fw::String* parameter) override;
    int ClearLinks() override;

    const std::string& TagName() const { return name_; }
    std::vector<Link> links; // in GetLinks order
    // The link for a parameter (exact name), or null.
    const Link* Find(const std::string& parameter) const;

private:
    FakeDatabase& database_;
    std::string name_;
    bool hidden_;
};

class FakeDatabase final : public pelorin::HostTagDatabase {
public:
    FakeTag& Add(const std::string& name, bool hidden = false);
    FakeTag& Tag(const std::string& name);

    int ListTags(fw::PtrList* tags) override;
    int ReservedSlot2() override { return 0; }
    int Save() override {
        ++saves;
        calls.push_back("Save");
        return 1;
    }
    pelorin::HostTag* CreateTag(int, int, const fw::String*, const fw::String*) override {
        return nullptr;
    }

    // The tag that has linked `item`, or null.
    FakeTag* Owner(const std::string& item);

    std::vector<std::unique_ptr<FakeTag>> tags;
    std::vector<std::string> calls; // "AddLink T1 PV item", "RemoveLink T1 PV", ...
    int saves = 0;
};

class FakeGrid final : public pelorin::LinkGrid {
public:
    explicit FakeGrid(long rows = 50) : rows(rows) {}

    void SetRowCount(long count) override {
        rows = count;
        ++setRowCountCalls;
    }
    long GetRowCount() override { return rows; }
    void SetCellText(long column, long row, const std::wstring& text) override;
    std::string GetCellText(long column, long row) override;

    // What the engineer sees in a cell (as UTF-8 for readable failures).
    std::string Cell(long column, long row) const;
    void Type(long column, long row, const std::string& ansi); // as typing would

    long rows;
    int setRowCountCalls = 0;
    int setCellTextCalls = 0;
    std::map<std::pair<long, long>, std::wstring> cells;
};

class Answers final : public pelorin::LinkMessages {
public:
    void Tell(const std::wstring& text) override { told.push_back(text); }
    bool AskYesNo(const std::wstring& text) override {
        asked.push_back(text);
        return yes;
    }

    bool yes = true;
    std::vector<std::wstring> told;
    std::vector<std::wstring> asked;
};

std::wstring Wide(const std::string& ansi);
std::string Utf8(const std::wstring& wide);

} // namespace linktest

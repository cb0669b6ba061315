#include "tags/point_table.h"

#include <new>

#include "session/ansi_text.h"

namespace pelorin {
namespace {

constexpr const char* kItemColumnSuffixes[] = {"UNIT", "LL", "LO", "HI", "HH"};

// The library's string list for a column of the field list. Running out of memory here must not
// hand the library two lists of different lengths.
void AddTo(tabulo::StringList& list, const char* text) {
    if (list.Add(fw::String(text)) < 0)
        throw std::bad_alloc();
}

void ShowLastError(tabulo::Database& database, const MessageSink& show) {
    if (show)
        show(AnsiToWide(database.LastErrorText().str()));
}

} // namespace

PointTable BuildPointTable(const BrowseNode& subBranch, const std::string& prefix) {
    PointTable table;
    const std::string& device = subBranch.Name();
    table.name = prefix + device;
    table.fields.reserve(1 + 6 * subBranch.Leaves().size());
    table.fields.push_back({kDeviceNameColumn, device, kTextColumnType});
    for (const auto& item : subBranch.Leaves()) {
        const std::string& name = item->Name();
        table.fields.push_back({name, table.name + name, kTextColumnType});
        table.fields.push_back({name + kItemColumnSuffixes[0], std::string(), kTextColumnType});
        for (size_t i = 1; i < sizeof kItemColumnSuffixes / sizeof *kItemColumnSuffixes; ++i)
            table.fields.push_back(
                {name + kItemColumnSuffixes[i], std::string(), kNumberColumnType});
    }
    return table;
}

std::string QuoteSqlIdentifier(const std::string& name) {
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted += '"';
    for (const char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string SelectAllQuery(const std::string& table) {
    return "select * from " + QuoteSqlIdentifier(table);
}

void WriteBranchTables(tabulo::Database& database, const BrowseNode& snapshot,
                       const std::string& prefix, const MessageSink& show) {
    for (const auto& subBranch : snapshot.Branches()) {
        const PointTable table = BuildPointTable(*subBranch, prefix);
        tabulo::StringList names;
        tabulo::StringList types;
        for (const PointField& field : table.fields) {
            AddTo(names, field.column.c_str());
            AddTo(types, field.type);
        }
        if (!database.CreateTable(fw::String(table.name), &names, &types)) {
            ShowLastError(database, show);
            continue;
        }
        if (!database.OpenRecordset(fw::String(SelectAllQuery(table.name)), 1, 3, 3, 1))
            ShowLastError(database, show);
        if (!database.AddNew()) {
            if (show)
                show(kAddNewFailedText);
            continue;
        }
        for (const PointField& field : table.fields) {
            if (field.value.empty())
                continue;
            const fw::String value(field.value);
            database.SetFieldValue(field.column.c_str(), &value);
        }
        database.Update();
    }
}

} // namespace pelorin

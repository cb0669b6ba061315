// The item link dialog's side of the point tables: its database object (from the library's
// CreateTabulo on the first "..." click, kept for the dialog's life and never freed: it is the
// library's), the choice of a data source (button 12023) and the writing of every table
// (button 12022, CreatePointTables).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tabulo.h"
#include "tags/alias_file.h"
#include "tags/browse_node.h"

namespace pelorin {

// Where the database object comes from: the library's CreateTabulo.
using DatabaseFactory = std::function<tabulo::Database*()>;

// Told when the library hands out no database object.
constexpr const wchar_t* kNoDatabaseText = L"CreateTabulo: the database library gave no object.";

class PointTableSource {
public:
    explicit PointTableSource(DatabaseFactory create) : create_(std::move(create)) {}
    PointTableSource(const PointTableSource&) = delete;
    PointTableSource& operator=(const PointTableSource&) = delete;

    // ChooseDataSource: gets the database object if there is none yet, lets the library ask the
    // engineer for a data source and opens it. True when one was chosen: Source() then holds
    // it, for the dialog to show in edit 1034.
    bool Choose(const MessageSink& show);

    tabulo::Database* Database() const { return database_; }
    const std::string& Source() const { return source_; }

private:
    DatabaseFactory create_;
    tabulo::Database* database_ = nullptr;
    std::string source_;
};

// Button 12022: with a data source open, writes the point tables of every top-level branch of
// `branches` (the children of the browse tree's "Root", in tree order) from a snapshot of each,
// with the branch's alias as prefix or, without one, the branch's own name; then ends the run
// with Finish. Without a database object or an open source it does nothing and tells nothing.
void CreatePointTables(tabulo::Database* database, const BrowseInterface& browse,
                       const AliasMap& aliases, const std::vector<std::string>& branches,
                       const MessageSink& show);

} // namespace pelorin

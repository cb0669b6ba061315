#include "tags/point_table_source.h"

#include <memory>

#include "fw/app.h"
#include "tags/point_table.h"

namespace pelorin {

bool PointTableSource::Choose(const MessageSink& show) {
    try {
        if (!database_ && create_)
            database_ = create_();
        if (!database_) {
            if (show)
                show(kNoDatabaseText);
            return false;
        }
        fw::String chosen;
        if (!database_->ChooseSource(chosen))
            return false;
        database_->OpenSource(chosen);
        source_ = chosen.str();
        return true;
    } catch (...) {
        return false;
    }
}

void CreatePointTables(tabulo::Database* database, const BrowseInterface& browse,
                       const AliasMap& aliases, const std::vector<std::string>& branches,
                       const MessageSink& show) {
    if (!database || !database->IsOpen())
        return;
    fw::WaitCursor wait;
    try {
        for (const std::string& branch : branches) {
            // Unlike tag names, a branch without an alias gives its own name as prefix.
            const auto alias = aliases.find(branch);
            const std::string prefix = alias == aliases.end() ? branch : alias->second;
            ItemIdMap map;
            const std::unique_ptr<BrowseNode> snapshot(new BrowseNode(map, browse, branch, 0));
            WriteBranchTables(*database, *snapshot, prefix, show);
        }
    } catch (...) {
        // Memory ran out: the run ends here, and still ends as a run.
    }
    database->Finish();
}

} // namespace pelorin

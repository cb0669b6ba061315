#include "database.h"

#include <exception>

#include "choose_source_dialog.h"
#include "messages.h"
#include "open_backend.h"
#include "text.h"

namespace tabulo {
namespace {

constexpr int kAppendArguments[4] = {1, 3, 3, 1};

std::wstring Quoted(const std::wstring& name) {
    return L"\"" + name + L"\"";
}

} // namespace

TabuloDatabase::TabuloDatabase() = default;

TabuloDatabase::~TabuloDatabase() {
    CloseSource();
}

int TabuloDatabase::Fail(UINT id, std::initializer_list<std::wstring> inserts) {
    lastError_ = FormatText(id, inserts);
    return 0;
}

int TabuloDatabase::Internal(const char* what) {
    std::wstring text;
    AnsiToWide(what, text);
    return Fail(IDS_INTERNAL, {text});
}

// Every operation: nothing thrown inside leaves it.
#define TABULO_GUARD(body)                                                                         \
    try {                                                                                          \
        body;                                                                                      \
    } catch (const std::exception& e) {                                                            \
        return Internal(e.what());                                                                 \
    } catch (...) {                                                                                \
        return Internal("unknown exception");                                                      \
    }

fw::String TabuloDatabase::LastErrorText() {
    try {
        return fw::String(WideToAnsiLossy(lastError_));
    } catch (...) {
        return fw::String();
    }
}

int TabuloDatabase::ChooseSource(fw::String& source) {
    TABULO_GUARD({
        std::wstring initial;
        if (!AnsiToWide(source.c_str(), initial) || initial.empty())
            initial = source_;
        ChooseSourceDialog dialog(initial);
        if (dialog.DoModal() != IDOK)
            return 0;
        source = dialog.ChosenSource().c_str();
        return 1;
    })
}

int TabuloDatabase::OpenSource(fw::String source) {
    TABULO_GUARD(return DoOpenSource(source.c_str()))
}

int TabuloDatabase::DoOpenSource(const char* source) {
    // The work of an unfinished run is kept, not thrown away with the old source.
    if (inRun_)
        DoFinish();
    CloseSource();
    std::wstring wide;
    if (!AnsiToWide(source, wide))
        return Fail(IDS_BAD_TEXT);
    if (wide.find_first_not_of(L" \t") == std::wstring::npos)
        return Fail(IDS_EMPTY_SOURCE);
    std::wstring message;
    backend_ = OpenBackend(wide, message);
    if (!backend_) {
        lastError_ = message;
        return 0;
    }
    source_ = wide;
    opened_ = true;
    return 1;
}

int TabuloDatabase::IsOpen() {
    return opened_ ? 1 : 0;
}

void TabuloDatabase::CloseRecordset() {
    writer_.reset();
    recordsetTable_.clear();
    recordsetColumns_.clear();
    row_.clear();
    rowStarted_ = false;
    rowFailure_.clear();
}

void TabuloDatabase::CloseSource() {
    CloseRecordset();
    known_ = false;
    if (backend_ && inRun_)
        backend_->Rollback();
    backend_.reset();
    source_.clear();
    opened_ = false;
    inRun_ = runChanged_ = runLost_ = false;
    lostText_.clear();
}

bool TabuloDatabase::EnsureRun() {
    if (runLost_) {
        lastError_ = lostText_;
        return false;
    }
    if (!opened_)
        return Fail(IDS_NO_SOURCE) != 0;
    if (!backend_) {
        std::wstring message;
        backend_ = OpenBackend(source_, message);
        if (!backend_) {
            lastError_ = message;
            return false;
        }
    }
    if (!inRun_) {
        std::wstring error;
        if (!backend_->BeginRun(error)) {
            lastError_ = error;
            return false;
        }
        inRun_ = true;
        runChanged_ = false;
    }
    return true;
}

void TabuloDatabase::LoseRun(const std::wstring& driverText) {
    CloseRecordset();
    known_ = false;
    backend_.reset(); // its transaction died with the connection; the next run connects anew
    runLost_ = true;
    lostText_ = FormatText(IDS_CONNECTION_LOST, {driverText});
    lastError_ = lostText_;
}

template <class Operation>
TabuloDatabase::Step TabuloDatabase::RunStep(Operation operation, bool retry, std::wstring& error) {
    error.clear();
    if (operation(*backend_, error))
        return Step::Done;
    if (!backend_->ConnectionLost())
        return Step::Failed;
    if (retry && !runChanged_) {
        // Nothing of this run is lost yet: the connection may have died while idle.
        backend_.reset();
        inRun_ = false;
        if (EnsureRun()) {
            error.clear();
            if (operation(*backend_, error))
                return Step::Done;
            if (!backend_->ConnectionLost())
                return Step::Failed;
        } else {
            error = lastError_;
        }
    }
    LoseRun(error);
    return Step::Lost;
}

int TabuloDatabase::Finish() {
    TABULO_GUARD(return DoFinish())
}

int TabuloDatabase::DoFinish() {
    CloseRecordset();
    known_ = false;
    if (runLost_) {
        runLost_ = false;
        inRun_ = runChanged_ = false;
        lastError_ = lostText_;
        return 0;
    }
    if (!opened_)
        return Fail(IDS_NO_SOURCE);
    if (!inRun_)
        return 1;
    inRun_ = runChanged_ = false;
    std::wstring error;
    if (backend_->Commit(error))
        return 1;
    if (backend_->ConnectionLost())
        backend_.reset();
    return Fail(IDS_COMMIT, {error});
}

int TabuloDatabase::CreateTable(fw::String table, const StringList* names,
                                const StringList* types) {
    TABULO_GUARD(return DoCreateTable(table.c_str(), names, types))
}

int TabuloDatabase::DoCreateTable(const char* tableText, const StringList* names,
                                  const StringList* types) {
    CloseRecordset();
    known_ = false;
    if (!opened_)
        return Fail(IDS_NO_SOURCE);
    if (!names || !types || names->GetSize() != types->GetSize() || names->GetSize() < 1)
        return Fail(IDS_BAD_LISTS);
    std::wstring table;
    if (!AnsiToWide(tableText, table))
        return Fail(IDS_BAD_TEXT);
    std::vector<ColumnInfo> columns;
    for (int i = 0; i < names->GetSize(); ++i) {
        ColumnInfo column;
        std::wstring type;
        if (!AnsiToWide((*names)[i].c_str(), column.name) || !AnsiToWide((*types)[i].c_str(), type))
            return Fail(IDS_BAD_TEXT);
        if (column.name.empty())
            return Fail(IDS_EMPTY_NAME);
        column.kind = ParseColumnType(type);
        if (column.kind == ColumnKind::Other)
            return Fail(IDS_UNKNOWN_TYPE, {column.name, type});
        columns.push_back(column);
    }
    if (table.empty())
        return Fail(IDS_EMPTY_NAME);
    if (!EnsureRun())
        return 0;

    // Names the engine would shorten or merge would give another table than the one asked for.
    const size_t maxBytes = backend_->MaxNameBytes();
    if (maxBytes && backend_->NameBytes(table) > maxBytes)
        return Fail(IDS_NAME_TOO_LONG, {table, std::to_wstring(maxBytes)});
    for (size_t i = 0; i < columns.size(); ++i) {
        if (maxBytes && backend_->NameBytes(columns[i].name) > maxBytes)
            return Fail(IDS_NAME_TOO_LONG, {columns[i].name, std::to_wstring(maxBytes)});
        for (size_t j = 0; j < i; ++j) {
            if (backend_->SameName(columns[i].name, columns[j].name))
                return Fail(IDS_DUPLICATE_COLUMN, {columns[i].name});
        }
    }

    TableInfo existing;
    std::wstring error;
    Step step = RunStep(
        [&](Backend& backend, std::wstring& e) { return backend.LookUpTable(table, existing, e); },
        true, error);
    if (step == Step::Lost)
        return 0;
    if (step == Step::Failed)
        return Fail(IDS_LOOK_UP, {Quoted(table), error});
    if (existing.exists) {
        if (!existing.isTable)
            return Fail(IDS_NOT_A_TABLE, {Quoted(table)});
        std::wstring missing;
        for (const ColumnInfo& wanted : columns) {
            bool found = false;
            for (const ColumnInfo& have : existing.columns)
                found = found || backend_->SameName(wanted.name, have.name);
            if (!found)
                missing += (missing.empty() ? L"" : L", ") + Quoted(wanted.name);
        }
        if (!missing.empty())
            return Fail(IDS_OTHER_COLUMNS, {Quoted(table), missing});
        knownTable_ = table;
        knownInfo_ = existing;
        known_ = true;
        return 1;
    }
    step = RunStep(
        [&](Backend& backend, std::wstring& e) { return backend.CreateTable(table, columns, e); },
        true, error);
    if (step == Step::Lost)
        return 0;
    if (step == Step::Failed)
        return Fail(IDS_CREATE_TABLE, {Quoted(table), error});
    runChanged_ = true;
    knownTable_ = table;
    knownInfo_ = TableInfo();
    knownInfo_.exists = true;
    knownInfo_.columns = columns;
    known_ = true;
    return 1;
}

int TabuloDatabase::OpenRecordset(fw::String query, int a, int b, int c, int d) {
    TABULO_GUARD(return DoOpenRecordset(query.c_str(), a, b, c, d))
}

int TabuloDatabase::DoOpenRecordset(const char* queryText, int a, int b, int c, int d) {
    // Whatever happens below, rows no longer go to the previous table.
    CloseRecordset();
    if (!opened_)
        return Fail(IDS_NO_SOURCE);
    const int arguments[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i) {
        if (arguments[i] != kAppendArguments[i])
            return Fail(IDS_QUERY);
    }
    std::wstring query;
    if (!AnsiToWide(queryText, query))
        return Fail(IDS_BAD_TEXT);
    std::vector<std::wstring> candidates;
    if (!ParseAppendQuery(query, candidates))
        return Fail(IDS_QUERY);
    if (!EnsureRun())
        return 0;

    TableInfo info;
    std::wstring table;
    for (const std::wstring& candidate : candidates) {
        if (known_ && candidate == knownTable_) {
            info = knownInfo_;
            table = candidate;
            break;
        }
        std::wstring error;
        const Step step =
            RunStep([&](Backend& backend,
                        std::wstring& e) { return backend.LookUpTable(candidate, info, e); },
                    true, error);
        if (step == Step::Lost)
            return 0;
        if (step == Step::Failed)
            return Fail(IDS_LOOK_UP, {Quoted(candidate), error});
        if (info.exists) {
            table = candidate;
            break;
        }
    }
    if (!info.exists)
        return Fail(IDS_NO_TABLE, {Quoted(candidates.front())});
    if (!info.isTable)
        return Fail(IDS_NOT_A_TABLE, {Quoted(table)});
    if (!backend_->Writable())
        return Fail(IDS_READ_ONLY, {Quoted(table)});
    std::wstring error;
    std::unique_ptr<RowWriter> writer;
    const Step step = RunStep(
        [&](Backend& backend, std::wstring& e) {
            writer = backend.PrepareInsert(table, info.columns, e);
            return writer != nullptr;
        },
        true, error);
    if (step == Step::Lost)
        return 0;
    if (step == Step::Failed)
        return Fail(IDS_PREPARE, {Quoted(table), error});
    writer_ = std::move(writer);
    recordsetTable_ = table;
    recordsetColumns_ = info.columns;
    return 1;
}

int TabuloDatabase::AddNew() {
    TABULO_GUARD({
        if (runLost_) {
            lastError_ = lostText_;
            return 0;
        }
        if (!writer_)
            return Fail(IDS_NO_RECORDSET);
        // A row started before and never stored is dropped.
        row_.assign(recordsetColumns_.size(), FieldValue());
        rowFailure_.clear();
        rowStarted_ = true;
        return 1;
    })
}

int TabuloDatabase::SetFieldValue(const char* column, const fw::String* value) {
    TABULO_GUARD(return DoSetFieldValue(column, value))
}

int TabuloDatabase::DoSetFieldValue(const char* columnText, const fw::String* value) {
    if (!rowStarted_)
        return Fail(IDS_NO_ROW);
    std::wstring column, text;
    if (!columnText || !AnsiToWide(columnText, column) ||
        (value && !AnsiToWide(value->c_str(), text))) {
        Fail(IDS_BAD_TEXT);
        if (rowFailure_.empty())
            rowFailure_ = lastError_;
        return 0;
    }
    // The exact name first; then as the engine compares names.
    size_t index = recordsetColumns_.size();
    for (size_t i = 0; i < recordsetColumns_.size() && index == recordsetColumns_.size(); ++i) {
        if (recordsetColumns_[i].name == column)
            index = i;
    }
    for (size_t i = 0; i < recordsetColumns_.size() && index == recordsetColumns_.size(); ++i) {
        if (backend_->SameName(recordsetColumns_[i].name, column))
            index = i;
    }
    if (index == recordsetColumns_.size()) {
        Fail(IDS_NO_COLUMN, {Quoted(recordsetTable_), Quoted(column)});
        if (rowFailure_.empty())
            rowFailure_ = lastError_;
        return 0;
    }
    long long number = 0;
    if (value && recordsetColumns_[index].kind == ColumnKind::Integer &&
        !ParseWholeNumber(text, number)) {
        Fail(IDS_NOT_WHOLE, {Quoted(text), Quoted(recordsetColumns_[index].name)});
        if (rowFailure_.empty())
            rowFailure_ = lastError_;
        return 0;
    }
    row_[index].isNull = value == nullptr;
    // A whole number goes to the engine in one spelling, without blanks or '+'.
    row_[index].text = value && recordsetColumns_[index].kind == ColumnKind::Integer
                           ? std::to_wstring(number)
                           : text;
    return 1;
}

int TabuloDatabase::Update() {
    TABULO_GUARD(return DoUpdate())
}

int TabuloDatabase::DoUpdate() {
    if (runLost_) {
        lastError_ = lostText_;
        return 0;
    }
    if (!rowStarted_)
        return Fail(IDS_NO_ROW);
    rowStarted_ = false; // the row ends here, stored or not
    if (!rowFailure_.empty())
        return Fail(IDS_ROW_REFUSED, {Quoted(recordsetTable_), rowFailure_});
    if (!EnsureRun())
        return 0;
    std::wstring error;
    // The prepared statement belongs to the connection: no second try on a new one.
    const Step step =
        RunStep([&](Backend&, std::wstring& e) { return writer_->Insert(row_, e); }, false, error);
    if (step == Step::Lost)
        return 0;
    if (step == Step::Failed)
        return Fail(IDS_INSERT, {Quoted(recordsetTable_), error});
    runChanged_ = true;
    return 1;
}

} // namespace tabulo

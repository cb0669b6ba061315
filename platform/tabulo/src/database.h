// The library's database object: the operations its callers reach through their positions in
// the table of virtual operations. It keeps one data source open at a time, a run (everything
// up to Finish) as one transaction, and at most one recordset: a prepared INSERT into one table
// with the row being set up. No exception leaves an operation; a failure answers 0 and leaves
// its text for LastErrorText.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "backend.h"
#include "tabulo.h"

namespace tabulo {

class TabuloDatabase final : public Database {
public:
    TabuloDatabase();
    ~TabuloDatabase();

    int ReservedSlot1() override { return 0; }
    int ReservedSlot2() override { return 0; }
    int ReservedSlot3() override { return 0; }
    int ReservedSlot4() override { return 0; }
    int ReservedSlot5() override { return 0; }
    fw::String LastErrorText() override;
    int ChooseSource(fw::String& source) override;
    int OpenSource(fw::String source) override;
    int ReservedSlot9() override { return 0; }
    int IsOpen() override;
    int Finish() override;
    int ReservedSlot12() override { return 0; }
    int ReservedSlot13() override { return 0; }
    int ReservedSlot14() override { return 0; }
    int CreateTable(fw::String table, const StringList* names, const StringList* types) override;
    int ReservedSlot16() override { return 0; }
    int ReservedSlot17() override { return 0; }
    int ReservedSlot18() override { return 0; }
    int ReservedSlot19() override { return 0; }
    int ReservedSlot20() override { return 0; }
    int OpenRecordset(fw::String query, int a, int b, int c, int d) override;
    int ReservedSlot22() override { return 0; }
    int ReservedSlot23() override { return 0; }
    int ReservedSlot24() override { return 0; }
    int ReservedSlot25() override { return 0; }
    int ReservedSlot26() override { return 0; }
    int ReservedSlot27() override { return 0; }
    int ReservedSlot28() override { return 0; }
    int ReservedSlot29() override { return 0; }
    int ReservedSlot30() override { return 0; }
    int ReservedSlot31() override { return 0; }
    int AddNew() override;
    int Update() override;
    int ReservedSlot34() override { return 0; }
    int ReservedSlot35() override { return 0; }
    int ReservedSlot36() override { return 0; }
    int ReservedSlot37() override { return 0; }
    int ReservedSlot38() override { return 0; }
    int ReservedSlot39() override { return 0; }
    int ReservedSlot40() override { return 0; }
    int ReservedSlot41() override { return 0; }
    int ReservedSlot42() override { return 0; }
    int ReservedSlot43() override { return 0; }
    int ReservedSlot44() override { return 0; }
    int ReservedSlot45() override { return 0; }
    int ReservedSlot46() override { return 0; }
    int ReservedSlot47() override { return 0; }
    int ReservedSlot48() override { return 0; }
    int ReservedSlot49() override { return 0; }
    int ReservedSlot50() override { return 0; }
    int ReservedSlot51() override { return 0; }
    int ReservedSlot52() override { return 0; }
    int ReservedSlot53() override { return 0; }
    int SetFieldValue(const char* column, const fw::String* value) override;

private:
    enum class Step { Done, Failed, Lost };

    int DoOpenSource(const char* source);
    int DoCreateTable(const char* table, const StringList* names, const StringList* types);
    int DoOpenRecordset(const char* query, int a, int b, int c, int d);
    int DoSetFieldValue(const char* column, const fw::String* value);
    int DoUpdate();
    int DoFinish();

    int Fail(UINT id, std::initializer_list<std::wstring> inserts = {});
    int Internal(const char* what);
    // Ready for a change: a source is open, its connection is up, the run's transaction begun.
    bool EnsureRun();
    // Runs one operation of the back end. When the connection breaks before the run changed
    // anything, reconnects and tries once more (if `retry`); when it breaks later, the run is
    // lost: its text is set and every further step of the run fails with it.
    template <class Operation> Step RunStep(Operation operation, bool retry, std::wstring& error);
    void LoseRun(const std::wstring& driverText);
    void CloseSource();
    void CloseRecordset();

    std::unique_ptr<Backend> backend_;
    std::wstring source_; // what OpenSource opened, for reconnecting
    bool opened_ = false; // a source was opened; its connection may need to be made again
    bool inRun_ = false;
    bool runChanged_ = false;
    bool runLost_ = false;
    std::wstring lostText_;
    std::wstring lastError_;

    // The table the last CreateTable of this run made or found, for the OpenRecordset that
    // follows it (the plug-in's order): no second look at the catalog.
    std::wstring knownTable_;
    TableInfo knownInfo_;
    bool known_ = false;

    // The recordset and its started row.
    std::unique_ptr<RowWriter> writer_;
    std::wstring recordsetTable_;
    std::vector<ColumnInfo> recordsetColumns_;
    std::vector<FieldValue> row_;
    bool rowStarted_ = false;
    std::wstring rowFailure_; // why the started row cannot be stored; empty when it can
};

} // namespace tabulo

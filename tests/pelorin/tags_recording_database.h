// A database object of the library's shape that records what the plug-in asks of it, and that
// can be told to refuse CreateTable, OpenRecordset or AddNew.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "tabulo.h"

namespace tagtest {

class RecordingDatabase final : public tabulo::Database {
public:
    // One call as text, e.g. "CreateTable CH1Device1", "OpenRecordset select * from ... 1 3 3 1",
    // "AddNew", "Set DeviceName=Device1", "Update", "Finish".
    std::vector<std::string> calls;
    // The column names and types of each CreateTable, in call order.
    std::vector<std::vector<std::string>> columns;
    std::vector<std::vector<std::string>> types;

    bool open = true;
    std::set<std::string> refuseTables; // CreateTable fails for these
    bool refuseRecordset = false;
    bool refuseAddNew = false;
    std::string chosen; // what ChooseSource answers; empty: the user cancelled
    std::string lastError = "no such thing";

    int ReservedSlot1() override { return Unexpected("slot 1"); }
    int ReservedSlot2() override { return Unexpected("slot 2"); }
    int ReservedSlot3() override { return Unexpected("slot 3"); }
    int ReservedSlot4() override { return Unexpected("slot 4"); }
    int ReservedSlot5() override { return Unexpected("slot 5"); }
    fw::String LastErrorText() override;
    int ChooseSource(fw::String& source) override;
    int OpenSource(fw::String source) override;
    int ReservedSlot9() override { return Unexpected("slot 9"); }
    int IsOpen() override;
    int Finish() override;
    int ReservedSlot12() override { return Unexpected("slot 12"); }
    int ReservedSlot13() override { return Unexpected("slot 13"); }
    int ReservedSlot14() override { return Unexpected("slot 14"); }
    int CreateTable(fw::String table, const tabulo::StringList* names,
                    const tabulo::StringList* types) override;
    int ReservedSlot16() override { return Unexpected("slot 16"); }
    int ReservedSlot17() override { return Unexpected("slot 17"); }
    int ReservedSlot18() override { return Unexpected("slot 18"); }
    int ReservedSlot19() override { return Unexpected("slot 19"); }
    int ReservedSlot20() override { return Unexpected("slot 20"); }
    int OpenRecordset(fw::String query, int a, int b, int c, int d) override;
    int ReservedSlot22() override { return Unexpected("slot 22"); }
    int ReservedSlot23() override { return Unexpected("slot 23"); }
    int ReservedSlot24() override { return Unexpected("slot 24"); }
    int ReservedSlot25() override { return Unexpected("slot 25"); }
    int ReservedSlot26() override { return Unexpected("slot 26"); }
    int ReservedSlot27() override { return Unexpected("slot 27"); }
    int ReservedSlot28() override { return Unexpected("slot 28"); }
    int ReservedSlot29() override { return Unexpected("slot 29"); }
    int ReservedSlot30() override { return Unexpected("slot 30"); }
    int ReservedSlot31() override { return Unexpected("slot 31"); }
    int AddNew() override;
    int Update() override;
    int ReservedSlot34() override { return Unexpected("slot 34"); }
    int ReservedSlot35() override { return Unexpected("slot 35"); }
    int ReservedSlot36() override { return Unexpected("slot 36"); }
    int ReservedSlot37() override { return Unexpected("slot 37"); }
    int ReservedSlot38() override { return Unexpected("slot 38"); }
    int ReservedSlot39() override { return Unexpected("slot 39"); }
    int ReservedSlot40() override { return Unexpected("slot 40"); }
    int ReservedSlot41() override { return Unexpected("slot 41"); }
    int ReservedSlot42() override { return Unexpected("slot 42"); }
    int ReservedSlot43() override { return Unexpected("slot 43"); }
    int ReservedSlot44() override { return Unexpected("slot 44"); }
    int ReservedSlot45() override { return Unexpected("slot 45"); }
    int ReservedSlot46() override { return Unexpected("slot 46"); }
    int ReservedSlot47() override { return Unexpected("slot 47"); }
    int ReservedSlot48() override { return Unexpected("slot 48"); }
    int ReservedSlot49() override { return Unexpected("slot 49"); }
    int ReservedSlot50() override { return Unexpected("slot 50"); }
    int ReservedSlot51() override { return Unexpected("slot 51"); }
    int ReservedSlot52() override { return Unexpected("slot 52"); }
    int ReservedSlot53() override { return Unexpected("slot 53"); }
    int SetFieldValue(const char* column, const fw::String* value) override;

private:
    int Unexpected(const char* slot);
};

} // namespace tagtest

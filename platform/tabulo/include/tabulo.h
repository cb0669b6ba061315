// The database library as its callers see it: CreateTabulo hands out the library's database
// object, whose virtual operations sit at fixed positions in its table. Positions that no caller
// of ours uses are held by named placeholders so that every operation keeps its place. There is
// no virtual destructor: the object belongs to the library, and its callers never free it.
//
// Texts are bytes in the process ANSI code page. Strings and string lists come from the framework
// DLL, whose allocator every module shares. Integer results: nonzero means success.
#pragma once

#include "fw/collections.h"
#include "fw/string.h"

#ifdef TABULO_BUILDING
#define TABULO_API __declspec(dllexport)
#else
#define TABULO_API __declspec(dllimport)
#endif

namespace tabulo {

// An ordered list of texts (column names, column type names).
using StringList = fw::Array<fw::String>;

class Database {
public:
    virtual int ReservedSlot1() = 0;                  // 1st
    virtual int ReservedSlot2() = 0;                  // 2nd
    virtual int ReservedSlot3() = 0;                  // 3rd
    virtual int ReservedSlot4() = 0;                  // 4th
    virtual int ReservedSlot5() = 0;                  // 5th
    virtual fw::String LastErrorText() = 0;           // 6th: the text of the last failure
    virtual int ChooseSource(fw::String& source) = 0; // 7th: asks the user; nonzero when chosen
    virtual int OpenSource(fw::String source) = 0;    // 8th
    virtual int ReservedSlot9() = 0;                  // 9th
    virtual int IsOpen() = 0;                         // 10th
    virtual int Finish() = 0;                         // 11th: ends a run (commits its work)
    virtual int ReservedSlot12() = 0;                 // 12th
    virtual int ReservedSlot13() = 0;                 // 13th
    virtual int ReservedSlot14() = 0;                 // 14th
    // 15th: nonzero when the table exists afterwards. Entry k of `types` is the type of column k.
    virtual int CreateTable(fw::String table, const StringList* names, const StringList* types) = 0;
    virtual int ReservedSlot16() = 0; // 16th
    virtual int ReservedSlot17() = 0; // 17th
    virtual int ReservedSlot18() = 0; // 18th
    virtual int ReservedSlot19() = 0; // 19th
    virtual int ReservedSlot20() = 0; // 20th
    // 21st: nonzero when rows can be appended to what the query selects.
    virtual int OpenRecordset(fw::String query, int a, int b, int c, int d) = 0;
    virtual int ReservedSlot22() = 0; // 22nd
    virtual int ReservedSlot23() = 0; // 23rd
    virtual int ReservedSlot24() = 0; // 24th
    virtual int ReservedSlot25() = 0; // 25th
    virtual int ReservedSlot26() = 0; // 26th
    virtual int ReservedSlot27() = 0; // 27th
    virtual int ReservedSlot28() = 0; // 28th
    virtual int ReservedSlot29() = 0; // 29th
    virtual int ReservedSlot30() = 0; // 30th
    virtual int ReservedSlot31() = 0; // 31st
    virtual int AddNew() = 0;         // 32nd: starts a new, empty row
    virtual int Update() = 0;         // 33rd: stores the started row
    virtual int ReservedSlot34() = 0; // 34th
    virtual int ReservedSlot35() = 0; // 35th
    virtual int ReservedSlot36() = 0; // 36th
    virtual int ReservedSlot37() = 0; // 37th
    virtual int ReservedSlot38() = 0; // 38th
    virtual int ReservedSlot39() = 0; // 39th
    virtual int ReservedSlot40() = 0; // 40th
    virtual int ReservedSlot41() = 0; // 41st
    virtual int ReservedSlot42() = 0; // 42nd
    virtual int ReservedSlot43() = 0; // 43rd
    virtual int ReservedSlot44() = 0; // 44th
    virtual int ReservedSlot45() = 0; // 45th
    virtual int ReservedSlot46() = 0; // 46th
    virtual int ReservedSlot47() = 0; // 47th
    virtual int ReservedSlot48() = 0; // 48th
    virtual int ReservedSlot49() = 0; // 49th
    virtual int ReservedSlot50() = 0; // 50th
    virtual int ReservedSlot51() = 0; // 51st
    virtual int ReservedSlot52() = 0; // 52nd
    virtual int ReservedSlot53() = 0; // 53rd
    // 54th: the value of a column of the started row.
    virtual int SetFieldValue(const char* column, const fw::String* value) = 0;

protected:
    ~Database() = default;
};

} // namespace tabulo

// The library's one export (plain name). Null when no object could be made.
extern "C" TABULO_API tabulo::Database* __cdecl CreateTabulo();

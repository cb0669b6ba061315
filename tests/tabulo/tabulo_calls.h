// Calls the database object only through the positions of its table of virtual operations, the
// way a caller compiled against its own copy of the declaration does. Positions are zero-based
// here: the 6th operation sits at index 5.
#pragma once

#include <string>

#include "fw/collections.h"
#include "fw/string.h"

namespace tabulo_test {

using StringList = fw::Array<fw::String>;

class TabuloCalls {
public:
    explicit TabuloCalls(void* object) : object_(object) {}
    void* object() const { return object_; }

    std::string LastErrorText();                                       // 6th
    int ChooseSource(fw::String& source);                              // 7th
    int OpenSource(const std::string& source);                         // 8th
    int IsOpen();                                                      // 10th
    int Finish();                                                      // 11th
    int CreateTable(const std::string& table, const StringList* names, // 15th
                    const StringList* types);
    int OpenRecordset(const std::string& query, int a = 1, int b = 3, int c = 3, int d = 1); // 21st
    int AddNew();                                                                            // 32nd
    int Update();                                                                            // 33rd
    int SetFieldValue(const char* column, const fw::String* value);                          // 54th
    // Any position that takes no arguments and answers an int.
    int CallPlain(int index);

private:
    void* object_;
};

// The object CreateTabulo hands out (loaded from tabulo.dll by name, as the plug-in links it).
void* CreateTabuloObject();

} // namespace tabulo_test

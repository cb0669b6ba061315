// What the plug-in keeps for the life of the process: its module handle and the clipboard format
// ids of the OPC Data Access 1.0 streams, both set once when the host loads it.
#pragma once

#include <windows.h>

namespace pelorin {

HINSTANCE ModuleInstance();

struct StreamFormats {
    UINT data = 0;           // "OPCSTMFORMATDATA": registered, never subscribed
    UINT dataTime = 0;       // "OPCSTMFORMATDATATIME": the data subscription
    UINT writeComplete = 0;  // "OPCSTMFORMATWRITECOMPLETE": the write-complete subscription
};

const StreamFormats& StreamClipboardFormats();

// Called once when the host loads the plug-in.
void RecordModuleInstance(HINSTANCE instance);
// Registers the three stream format names; a second call keeps the first ids.
void RegisterStreamFormats();

}  // namespace pelorin

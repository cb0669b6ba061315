#include "entry/module_state.h"

namespace pelorin {
namespace {

HINSTANCE gInstance = nullptr;
StreamFormats gFormats;

}  // namespace

HINSTANCE ModuleInstance() { return gInstance; }

const StreamFormats& StreamClipboardFormats() { return gFormats; }

void RecordModuleInstance(HINSTANCE instance) { gInstance = instance; }

void RegisterStreamFormats() {
    if (gFormats.dataTime)
        return;
    gFormats.data = RegisterClipboardFormatA("OPCSTMFORMATDATA");
    gFormats.dataTime = RegisterClipboardFormatA("OPCSTMFORMATDATATIME");
    gFormats.writeComplete = RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE");
}

}  // namespace pelorin

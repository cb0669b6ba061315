// The OPC server browser stand-in: IOPCServerList over this computer's class registry.
#pragma once

#include "opcda.h"

namespace opcbrowser {

HRESULT CreateServerList(REFIID riid, void** object);

} // namespace opcbrowser

// One OPC server found by the discovery: its ProgID (ANSI) and class id.
#pragma once

#include <windows.h>

#include <string>

namespace pelorin {

struct ServerEntry {
    std::string progId;
    GUID clsid;
};

}  // namespace pelorin

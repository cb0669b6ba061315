// The OPC Data Access 1.0 stream formats that IDataObject subscribers receive in global memory:
// "OPCSTMFORMATDATATIME" (OPCGROUPHEADER, OPCITEMHEADER1 per item, then the values) and
// "OPCSTMFORMATWRITECOMPLETE" (OPCGROUPHEADERWRITE, OPCITEMHEADERWRITE per item).
#pragma once

#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <vector>

namespace opcsim {

struct StreamItem {
    DWORD clientHandle = 0;
    const VARIANT* value = nullptr;
    WORD quality = 0;
    FILETIME timestamp = {};
    HRESULT error = S_OK;
};

// Both return a movable global memory block owned by the caller, or null without memory.
// A value is written as its 16-byte VARIANT followed, for VT_BSTR, by the byte count, the
// characters and a terminator, and for a one-dimensional array by its SAFEARRAY descriptor
// and the element data (for strings: one empty slot per element, then each string as count,
// characters and terminator).
HGLOBAL BuildDataTimeStream(DWORD clientGroup, DWORD transaction,
                            const std::vector<StreamItem>& items);
HGLOBAL BuildWriteCompleteStream(DWORD clientGroup, DWORD transaction,
                                 const std::vector<StreamItem>& items);
// "OPCSTMFORMATDATATIME" streams of one item (client handle `handle`) that each break the format
// in one way a reader must catch: more item headers than the block holds, a count whose headers'
// extent wraps round in 32 bits, a value beyond the block, a value by reference, a string longer
// than the block, an array of two dimensions, an array whose elements' extent wraps round, and a
// block shorter than the group header. Movable blocks owned by the caller.
std::vector<HGLOBAL> BuildMalformedDataTimeStreams(DWORD clientGroup, DWORD handle);

// Registered ids of the three stream formats in this session.
CLIPFORMAT DataFormat();
CLIPFORMAT DataTimeFormat();
CLIPFORMAT WriteCompleteFormat();

} // namespace opcsim

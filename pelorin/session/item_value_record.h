// The record an OPC item's client handle stands for: the last value, quality and timestamp a
// server sent for the item. The handle is the record's address, but a handle only reaches a
// record that is alive and registered, so that a server echoing a wrong or forged handle never
// makes a sink write through a stray pointer.
#pragma once

#include <windows.h>
// after windows.h
#include <oleauto.h>

#include "opcda.h"

namespace pelorin {

class ItemValueRecord {
public:
    ItemValueRecord();
    ~ItemValueRecord();
    ItemValueRecord(const ItemValueRecord&) = delete;
    ItemValueRecord& operator=(const ItemValueRecord&) = delete;

    // The client handle to give the server for this record.
    OPCHANDLE Handle() const;

    // Takes ownership of `value` (the caller's VARIANT is left VT_EMPTY) and stores it with the
    // quality and timestamp, replacing the previous value.
    void Store(VARIANT& value, WORD quality, const FILETIME& timestamp);

    const VARIANT& Value() const { return value_; }
    WORD Quality() const { return quality_; }
    const FILETIME& Timestamp() const { return timestamp_; }

private:
    VARIANT value_;
    WORD quality_ = 0;
    FILETIME timestamp_ = {};
};

// The live record a client handle identifies; null for 0 and for any handle no record has.
ItemValueRecord* FindItemValueRecord(OPCHANDLE handle);

// Copies `value` (deeply, by-reference values dereferenced) into the record of `handle` with
// quality and timestamp. Does nothing when the handle names no record or the value cannot be
// copied; then the record keeps its old value, quality and timestamp together. Returns whether the
// record changed.
bool StoreItemCopy(OPCHANDLE handle, const VARIANT& value, WORD quality, const FILETIME& timestamp);

} // namespace pelorin

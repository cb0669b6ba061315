#include "session/item_value_record.h"

#include <cstdint>
#include <unordered_set>

namespace pelorin {
namespace {

// Records are created, looked up and destroyed on the apartment thread that also receives the
// notifications, so the set needs no lock.
std::unordered_set<const ItemValueRecord*>& LiveRecords() {
    static std::unordered_set<const ItemValueRecord*> records;
    return records;
}

} // namespace

ItemValueRecord::ItemValueRecord() {
    VariantInit(&value_);
    LiveRecords().insert(this);
}

ItemValueRecord::~ItemValueRecord() {
    LiveRecords().erase(this);
    VariantClear(&value_);
}

OPCHANDLE ItemValueRecord::Handle() const {
    static_assert(sizeof(OPCHANDLE) == sizeof(uintptr_t), "a record's address is its handle");
    return static_cast<OPCHANDLE>(reinterpret_cast<uintptr_t>(this));
}

void ItemValueRecord::Store(VARIANT& value, WORD quality, const FILETIME& timestamp) {
    VariantClear(&value_);
    value_ = value; // the record takes over what the VARIANT owns
    VariantInit(&value);
    quality_ = quality;
    timestamp_ = timestamp;
}

ItemValueRecord* FindItemValueRecord(OPCHANDLE handle) {
    if (handle == 0)
        return nullptr;
    auto* candidate = reinterpret_cast<ItemValueRecord*>(static_cast<uintptr_t>(handle));
    return LiveRecords().count(candidate) ? candidate : nullptr;
}

bool StoreItemCopy(OPCHANDLE handle, const VARIANT& value, WORD quality,
                   const FILETIME& timestamp) {
    ItemValueRecord* record = FindItemValueRecord(handle);
    if (!record)
        return false;
    VARIANT copy;
    VariantInit(&copy);
    // A by-reference value points into memory the caller frees after the call (the marshaller's
    // buffer across processes), so the record keeps what it points at, never the pointer.
    // VariantCopyInd only reads its source; the declaration merely lacks the const.
    if (FAILED(VariantCopyInd(&copy, const_cast<VARIANT*>(&value))))
        return false;
    record->Store(copy, quality, timestamp);
    return true;
}

} // namespace pelorin

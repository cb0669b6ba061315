// The host's tag database as the plug-in calls it, shared with the host: the TagLink record and
// the two abstract classes whose virtual operations sit at fixed positions in their tables.
// Positions the plug-in does not call are held by named placeholders, so that every operation
// keeps its place. There are no virtual destructors: they would take positions of their own, and
// the host alone destroys its objects.
//
// Strings, tag lists and link arrays come from the framework DLL, whose allocator every module
// shares. All calls come from the host's user-interface thread; no exception leaves a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fw/collections.h"
#include "fw/string.h"

namespace pelorin {

// One link of a tag parameter to an OPC item (104 bytes).
struct TagLink {
    fw::String parameter; // "PV" or "DESC" when written by the plug-in
    fw::String itemId;    // the fully qualified OPC item id
    char itemIdCopy[64];  // the item id again, cut to 63 bytes, NUL-terminated
    int32_t dataType;     // data-type combo index (or a VARTYPE, see the item link dialog)
    int32_t badValue;     // bad-value handling combo index
    int32_t showValue;    // the value shown for a bad value
    int32_t readWrite;    // read/write access combo index
    unsigned char reserved[16];

    // All zero, both strings empty.
    TagLink() : itemIdCopy{}, dataType(0), badValue(0), showValue(0), readWrite(0), reserved{} {}

    // Sets the item id and its 63-byte copy.
    void SetItemId(const char* item) {
        itemId = item ? item : "";
        const size_t length = std::strlen(itemId.c_str());
        const size_t kept = length < sizeof itemIdCopy - 1 ? length : sizeof itemIdCopy - 1;
        std::memset(itemIdCopy, 0, sizeof itemIdCopy);
        std::memcpy(itemIdCopy, itemId.c_str(), kept);
    }
};

static_assert(sizeof(fw::String) == 4, "a framework string is one 32-bit handle");
static_assert(offsetof(TagLink, parameter) == 0, "TagLink.parameter");
static_assert(offsetof(TagLink, itemId) == 4, "TagLink.itemId");
static_assert(offsetof(TagLink, itemIdCopy) == 8, "TagLink.itemIdCopy");
static_assert(offsetof(TagLink, dataType) == 72, "TagLink.dataType");
static_assert(offsetof(TagLink, badValue) == 76, "TagLink.badValue");
static_assert(offsetof(TagLink, showValue) == 80, "TagLink.showValue");
static_assert(offsetof(TagLink, readWrite) == 84, "TagLink.readWrite");
static_assert(offsetof(TagLink, reserved) == 88, "TagLink.reserved");
static_assert(sizeof(TagLink) == 104, "TagLink is 104 bytes");

using TagLinkArray = fw::Array<TagLink>;

// A tag of the device, owned by the host; the plug-in never frees one. Integer results: nonzero
// means yes or success.
class HostTag {
public:
    virtual fw::String Name() = 0;                           // 1st
    virtual int ReservedSlot2() = 0;                         // 2nd
    virtual int ReservedSlot3() = 0;                         // 3rd
    virtual int ReservedSlot4() = 0;                         // 4th
    virtual int ReservedSlot5() = 0;                         // 5th
    virtual int ReservedSlot6() = 0;                         // 6th
    virtual int IsHidden() = 0;                              // 7th: no grid row
    virtual int GetLinks(TagLinkArray* links) = 0;           // 8th: appends one per link
    virtual int AddLink(const TagLink* link) = 0;            // 9th
    virtual int ReservedSlot10() = 0;                        // 10th
    virtual int RemoveLink(const fw::String* parameter) = 0; // 11th
    virtual int ClearLinks() = 0;                            // 12th

protected:
    ~HostTag() = default;
};

// The host tag database of the device being configured. Its pointer is in the DeviceRecord.
class HostTagDatabase {
public:
    // Fills `tags` (a list of HostTag*) with the device's tags, each once, in grid order.
    virtual int ListTags(fw::PtrList* tags) = 0; // 1st
    virtual int ReservedSlot2() = 0;             // 2nd
    virtual int Save() = 0;                      // 3rd: commits every change
    // The new tag, or null when none was created.
    virtual HostTag* CreateTag(int reserved1, int reserved2, const fw::String* name,
                               const fw::String* description) = 0; // 4th

protected:
    ~HostTagDatabase() = default;
};

} // namespace pelorin

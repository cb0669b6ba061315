// Reader of an "OPCSTMFORMATDATATIME" stream: a group header, one 20-byte item header per item
// and each item's VARIANT with its string or array data, all at offsets a server chose. The
// stream is untrusted: every header, offset, string and array extent is checked against the
// stream's size before it is read, and values are rebuilt in memory of our own, never fixed up
// in the server's buffer.
#pragma once

#include <windows.h>
// after windows.h
#include <oleauto.h>

#include <cstddef>

#include "opcda.h"

namespace pelorin {

// Why a value was refused (Ok: it was read).
enum class ValueCheck {
    Ok,
    ValueOutside,    // the 16-byte VARIANT does not lie inside the stream
    ByReference,     // VT_BYREF: a pointer into the server's memory
    UnsupportedType, // a type that is no plain value, string or array of those
    StringOutside,   // a string's byte count or characters run past the stream's end
    NotOneDimension, // an array descriptor with a dimension count other than 1
    ElementSize,     // an element size that does not match the element type
    BadBounds,       // lower bound plus element count overflows the index range
    ArrayOutside,    // the descriptor or the element data run past the stream's end
    OutOfMemory,
};

struct StreamItemHeader {
    OPCHANDLE client = 0;
    DWORD valueOffset = 0;
    WORD quality = 0;
    FILETIME timestamp = {};
};

class DataTimeStream {
public:
    static constexpr size_t kGroupHeaderBytes = 20;
    static constexpr size_t kItemHeaderBytes = 20;

    DataTimeStream(const BYTE* data, size_t size) : data_(data), size_(size) {}

    // The number of item headers to read: the stream's item count, but never more headers than
    // lie wholly inside the stream.
    size_t ItemCount() const;
    // Header `index` (below ItemCount()).
    StreamItemHeader Header(size_t index) const;
    // Builds an independent copy of the item's value in `value`, which the caller then owns
    // (VariantClear). On anything but Ok `value` is VT_EMPTY and nothing is allocated.
    ValueCheck ReadValue(const StreamItemHeader& header, VARIANT& value) const;

private:
    bool Inside(size_t offset, unsigned long long bytes) const;
    ValueCheck ReadString(size_t offset, BSTR& text) const;
    ValueCheck ReadArray(size_t offset, VARTYPE elementType, VARIANT& value) const;
    ValueCheck FillStrings(SAFEARRAY* array, size_t offset, ULONG count) const;

    const BYTE* data_;
    size_t size_;
};

} // namespace pelorin

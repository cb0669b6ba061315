#include "session/data_time_stream.h"

#include <cstdint>
#include <cstring>

namespace pelorin {
namespace {

// Layout of a value: the VARIANT (type word at 0, value at 8), then for a string its byte count
// and characters, for an array its one-dimensional descriptor and the element data.
constexpr size_t kVariantBytes = 16;
constexpr size_t kValueAt = 8;
constexpr size_t kCountBytes = 4;
constexpr size_t kDimsAt = 16;         // descriptor: dimension count (2 bytes)
constexpr size_t kElementSizeAt = 20;  // element size (4)
constexpr size_t kElementCountAt = 32; // the one SAFEARRAYBOUND: element count (4)
constexpr size_t kLowerBoundAt = 36;   // lower bound (4)
constexpr size_t kElementDataAt = 40;  // element data right behind the descriptor
constexpr size_t kTerminatorBytes = 2; // each string of a string array ends in a NUL character

template <typename T> T ReadAt(const BYTE* data, size_t offset) {
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

// Bytes of one value of a type that holds no pointer; 0 for anything else. These are the only
// types taken from a stream, alone or as array elements: a type that carries a pointer (an
// interface, a record, a VARIANT that might) would hand us the server's addresses.
size_t PlainSize(VARTYPE type) {
    switch (type) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    default:
        return 0;
    }
}

} // namespace

bool DataTimeStream::Inside(size_t offset, unsigned long long bytes) const {
    return offset <= size_ && bytes <= size_ - offset;
}

size_t DataTimeStream::ItemCount() const {
    if (size_ < kGroupHeaderBytes)
        return 0;
    const DWORD declared = ReadAt<DWORD>(data_, offsetof(OPCGROUPHEADER, dwItemCount));
    const size_t fitting = (size_ - kGroupHeaderBytes) / kItemHeaderBytes;
    return declared < fitting ? declared : fitting;
}

StreamItemHeader DataTimeStream::Header(size_t index) const {
    static_assert(sizeof(OPCGROUPHEADER) == kGroupHeaderBytes, "group header");
    static_assert(sizeof(OPCITEMHEADER1) == kItemHeaderBytes, "item header");
    const OPCITEMHEADER1 raw =
        ReadAt<OPCITEMHEADER1>(data_, kGroupHeaderBytes + index * kItemHeaderBytes);
    StreamItemHeader header;
    header.client = raw.hClient;
    header.valueOffset = raw.dwValueOffset;
    header.quality = raw.wQuality;
    header.timestamp = raw.ftTimeStampItem;
    return header;
}

ValueCheck DataTimeStream::ReadValue(const StreamItemHeader& header, VARIANT& value) const {
    std::memset(&value, 0, sizeof value); // VT_EMPTY, and no stale bytes beside a short value
    const size_t at = header.valueOffset;
    if (!Inside(at, kVariantBytes))
        return ValueCheck::ValueOutside;
    const VARTYPE type = ReadAt<VARTYPE>(data_, at);
    if (type & VT_BYREF)
        return ValueCheck::ByReference;
    const VARTYPE base = type & VT_TYPEMASK;
    if ((type & ~VT_TYPEMASK) == VT_ARRAY)
        return ReadArray(at, base, value);
    if (type != base)
        return ValueCheck::UnsupportedType; // VT_VECTOR, VT_RESERVED and the like

    if (base == VT_EMPTY || base == VT_NULL) {
        value.vt = base;
        return ValueCheck::Ok;
    }
    if (base == VT_BSTR) {
        BSTR text = nullptr;
        const ValueCheck check = ReadString(at + kVariantBytes, text);
        if (check == ValueCheck::Ok) {
            value.vt = VT_BSTR;
            value.bstrVal = text;
        }
        return check;
    }
    const size_t bytes = PlainSize(base);
    if (bytes == 0)
        return ValueCheck::UnsupportedType;
    if (base == VT_DECIMAL) {
        // A DECIMAL fills the whole VARIANT; its first word is where the type goes.
        std::memcpy(&value, data_ + at, kVariantBytes);
    } else {
        std::memcpy(&value.llVal, data_ + at + kValueAt, bytes);
    }
    value.vt = base;
    return ValueCheck::Ok;
}

// A byte count at `offset`, then that many bytes of UTF-16 characters.
ValueCheck DataTimeStream::ReadString(size_t offset, BSTR& text) const {
    if (!Inside(offset, kCountBytes))
        return ValueCheck::StringOutside;
    const DWORD bytes = ReadAt<DWORD>(data_, offset);
    if (!Inside(offset + kCountBytes, bytes))
        return ValueCheck::StringOutside;
    text =
        SysAllocStringByteLen(reinterpret_cast<const char*>(data_ + offset + kCountBytes), bytes);
    return text ? ValueCheck::Ok : ValueCheck::OutOfMemory;
}

ValueCheck DataTimeStream::ReadArray(size_t at, VARTYPE elementType, VARIANT& value) const {
    const bool strings = elementType == VT_BSTR;
    const size_t elementBytes = strings ? sizeof(BSTR) : PlainSize(elementType);
    if (elementBytes == 0)
        return ValueCheck::UnsupportedType;
    if (!Inside(at, kElementDataAt))
        return ValueCheck::ArrayOutside;
    if (ReadAt<USHORT>(data_, at + kDimsAt) != 1)
        return ValueCheck::NotOneDimension;
    if (ReadAt<ULONG>(data_, at + kElementSizeAt) != elementBytes)
        return ValueCheck::ElementSize;
    SAFEARRAYBOUND bound;
    bound.cElements = ReadAt<ULONG>(data_, at + kElementCountAt);
    bound.lLbound = ReadAt<LONG>(data_, at + kLowerBoundAt);
    if (bound.cElements > 0 &&
        static_cast<long long>(bound.lLbound) + bound.cElements - 1 > INT32_MAX)
        return ValueCheck::BadBounds;
    // String arrays carry one pointer slot per element (meaningless here) before the strings.
    const unsigned long long dataBytes =
        static_cast<unsigned long long>(bound.cElements) * elementBytes;
    const size_t dataAt = at + kElementDataAt;
    if (!Inside(dataAt, dataBytes))
        return ValueCheck::ArrayOutside;

    SAFEARRAY* array = SafeArrayCreate(elementType, 1, &bound);
    if (!array)
        return ValueCheck::OutOfMemory;
    ValueCheck check = ValueCheck::Ok;
    if (strings) {
        check = FillStrings(array, dataAt + static_cast<size_t>(dataBytes), bound.cElements);
    } else if (dataBytes > 0) {
        void* elements = nullptr;
        if (FAILED(SafeArrayAccessData(array, &elements))) {
            check = ValueCheck::OutOfMemory;
        } else {
            std::memcpy(elements, data_ + dataAt, static_cast<size_t>(dataBytes));
            SafeArrayUnaccessData(array);
        }
    }
    if (check != ValueCheck::Ok) {
        SafeArrayDestroy(array);
        return check;
    }
    value.vt = VT_ARRAY | elementType;
    value.parray = array;
    return ValueCheck::Ok;
}

// The strings of a string array follow one another: byte count, characters, a NUL character.
ValueCheck DataTimeStream::FillStrings(SAFEARRAY* array, size_t offset, ULONG count) const {
    if (count == 0)
        return ValueCheck::Ok;
    void* slots = nullptr;
    if (FAILED(SafeArrayAccessData(array, &slots)))
        return ValueCheck::OutOfMemory;
    auto* texts = static_cast<BSTR*>(slots);
    ValueCheck check = ValueCheck::Ok;
    unsigned long long at = offset;
    for (ULONG j = 0; j < count && check == ValueCheck::Ok; ++j) {
        if (at > size_) {
            check = ValueCheck::StringOutside;
            break;
        }
        const size_t here = static_cast<size_t>(at);
        check = ReadString(here, texts[j]); // the array owns what lands in its slots
        if (check == ValueCheck::Ok)
            at = here + kCountBytes + static_cast<unsigned long long>(SysStringByteLen(texts[j])) +
                 kTerminatorBytes;
    }
    SafeArrayUnaccessData(array);
    return check;
}

} // namespace pelorin

#include "stream.h"

#include "opcda.h"

#include <cstddef>
#include <cstring>

namespace opcsim {
namespace {

void Append(std::vector<BYTE>& out, const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

void AppendString(std::vector<BYTE>& out, BSTR text) {
    const DWORD bytes = text ? SysStringByteLen(text) : 0;
    Append(out, &bytes, sizeof bytes);
    if (bytes)
        Append(out, text, bytes);
    const WCHAR terminator = 0;
    Append(out, &terminator, sizeof terminator);
}

void AppendValue(std::vector<BYTE>& out, const VARIANT& value) {
    VARIANT head;
    std::memcpy(&head, &value, sizeof head);
    const VARTYPE type = V_VT(&value);
    if (type == VT_BSTR || (type & VT_ARRAY))
        head.byref = nullptr; // the reader points it at the data that follows
    Append(out, &head, sizeof head);
    if (type == VT_BSTR) {
        AppendString(out, V_BSTR(&value));
        return;
    }
    if (!(type & VT_ARRAY) || !V_ARRAY(&value))
        return;
    const SAFEARRAY* array = V_ARRAY(&value);
    SAFEARRAY descriptor = {};
    descriptor.cDims = 1;
    descriptor.fFeatures = array->fFeatures;
    descriptor.cbElements = array->cbElements;
    descriptor.rgsabound[0] = array->rgsabound[0];
    Append(out, &descriptor, sizeof descriptor);
    const ULONG count = array->rgsabound[0].cElements;
    if ((type & VT_TYPEMASK) == VT_BSTR) {
        out.insert(out.end(), static_cast<size_t>(count) * array->cbElements, 0);
        const BSTR* strings = static_cast<const BSTR*>(array->pvData);
        for (ULONG i = 0; i < count; ++i)
            AppendString(out, strings[i]);
    } else {
        Append(out, array->pvData, static_cast<size_t>(count) * array->cbElements);
    }
}

HGLOBAL ToGlobal(const std::vector<BYTE>& bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory)
        return nullptr;
    void* target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(target, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    return memory;
}

std::vector<BYTE> DataTimeBytes(DWORD clientGroup, DWORD transaction,
                                const std::vector<StreamItem>& items) {
    const size_t headers = sizeof(OPCGROUPHEADER) + items.size() * sizeof(OPCITEMHEADER1);
    std::vector<BYTE> bytes(headers, 0);
    std::vector<OPCITEMHEADER1> itemHeaders(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        while (bytes.size() % 8)
            bytes.push_back(0);
        OPCITEMHEADER1& header = itemHeaders[i];
        header.hClient = items[i].clientHandle;
        header.dwValueOffset = static_cast<DWORD>(bytes.size());
        header.wQuality = items[i].quality;
        header.wReserved = 0;
        header.ftTimeStampItem = items[i].timestamp;
        VARIANT empty;
        VariantInit(&empty);
        AppendValue(bytes, items[i].value ? *items[i].value : empty);
    }
    OPCGROUPHEADER group = {};
    group.dwSize = static_cast<DWORD>(bytes.size());
    group.dwItemCount = static_cast<DWORD>(items.size());
    group.hClientGroup = clientGroup;
    group.dwTransactionID = transaction;
    group.hrStatus = S_OK;
    std::memcpy(bytes.data(), &group, sizeof group);
    if (!items.empty())
        std::memcpy(bytes.data() + sizeof group, itemHeaders.data(),
                    items.size() * sizeof(OPCITEMHEADER1));
    return bytes;
}

void Put(std::vector<BYTE>& bytes, size_t offset, DWORD value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// A stream of one item with that value, and where the item's value starts in it.
std::vector<BYTE> OneItem(DWORD clientGroup, DWORD handle, const VARIANT& value,
                          size_t& valueOffset) {
    StreamItem item;
    item.clientHandle = handle;
    item.value = &value;
    GetSystemTimeAsFileTime(&item.timestamp);
    std::vector<BYTE> bytes = DataTimeBytes(clientGroup, 0, {item});
    valueOffset = sizeof(OPCGROUPHEADER) + offsetof(OPCITEMHEADER1, dwValueOffset);
    DWORD offset = 0;
    std::memcpy(&offset, bytes.data() + valueOffset, sizeof offset);
    valueOffset = offset;
    return bytes;
}

} // namespace

HGLOBAL BuildDataTimeStream(DWORD clientGroup, DWORD transaction,
                            const std::vector<StreamItem>& items) {
    return ToGlobal(DataTimeBytes(clientGroup, transaction, items));
}

std::vector<HGLOBAL> BuildMalformedDataTimeStreams(DWORD clientGroup, DWORD handle) {
    constexpr size_t kCount = offsetof(OPCGROUPHEADER, dwItemCount);
    constexpr size_t kFirstValueOffset =
        sizeof(OPCGROUPHEADER) + offsetof(OPCITEMHEADER1, dwValueOffset);
    constexpr size_t kVariantData = 8;   // the value's place in a VARIANT
    constexpr size_t kAfterVariant = 16; // a string's byte count, an array's descriptor
    std::vector<std::vector<BYTE>> streams;
    size_t value = 0;

    VARIANT number;
    VariantInit(&number);
    V_VT(&number) = VT_I4;
    V_I4(&number) = 7;
    // More item headers than the block holds.
    streams.push_back(OneItem(clientGroup, handle, number, value));
    Put(streams.back(), kCount, 0x0FFFFFFF);
    // A count whose headers' extent wraps round in 32 bits to look small.
    streams.push_back(OneItem(clientGroup, handle, number, value));
    Put(streams.back(), kCount, 0xCCCCCCCD);
    // A value beyond the end of the block.
    streams.push_back(OneItem(clientGroup, handle, number, value));
    Put(streams.back(), kFirstValueOffset, static_cast<DWORD>(streams.back().size() + 16));
    // A value by reference: a pointer into the server's memory.
    streams.push_back(OneItem(clientGroup, handle, number, value));
    Put(streams.back(), value, VT_BYREF | VT_I4);
    Put(streams.back(), value + kVariantData, 0x00000010);

    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"x");
    // A string longer than the block.
    streams.push_back(OneItem(clientGroup, handle, text, value));
    Put(streams.back(), value + kAfterVariant, 0x7FFFFFF0);
    VariantClear(&text);

    VARIANT array;
    VariantInit(&array);
    V_VT(&array) = VT_ARRAY | VT_I4;
    V_ARRAY(&array) = SafeArrayCreateVector(VT_I4, 0, 2);
    if (V_ARRAY(&array)) {
        // Two dimensions where the format has one.
        streams.push_back(OneItem(clientGroup, handle, array, value));
        streams.back()[value + kAfterVariant] = 2;
        // Elements whose extent wraps round in 32 bits.
        streams.push_back(OneItem(clientGroup, handle, array, value));
        Put(streams.back(), value + kAfterVariant + offsetof(SAFEARRAY, rgsabound), 0x40000001);
    }
    VariantClear(&array);

    // Shorter than the group header.
    streams.push_back(OneItem(clientGroup, handle, number, value));
    streams.back().resize(sizeof(OPCGROUPHEADER) - 8);

    std::vector<HGLOBAL> out;
    for (const std::vector<BYTE>& bytes : streams)
        if (HGLOBAL memory = ToGlobal(bytes))
            out.push_back(memory);
    return out;
}

HGLOBAL BuildWriteCompleteStream(DWORD clientGroup, DWORD transaction,
                                 const std::vector<StreamItem>& items) {
    std::vector<BYTE> bytes;
    OPCGROUPHEADERWRITE group = {};
    group.dwItemCount = static_cast<DWORD>(items.size());
    group.hClientGroup = clientGroup;
    group.dwTransactionID = transaction;
    group.hrStatus = S_OK;
    Append(bytes, &group, sizeof group);
    for (const StreamItem& item : items) {
        OPCITEMHEADERWRITE header = {item.clientHandle, item.error};
        Append(bytes, &header, sizeof header);
    }
    return ToGlobal(bytes);
}

CLIPFORMAT DataFormat() {
    static const CLIPFORMAT id =
        static_cast<CLIPFORMAT>(RegisterClipboardFormatA(OPCSTMFORMATDATA));
    return id;
}

CLIPFORMAT DataTimeFormat() {
    static const CLIPFORMAT id =
        static_cast<CLIPFORMAT>(RegisterClipboardFormatA(OPCSTMFORMATDATATIME));
    return id;
}

CLIPFORMAT WriteCompleteFormat() {
    static const CLIPFORMAT id =
        static_cast<CLIPFORMAT>(RegisterClipboardFormatA(OPCSTMFORMATWRITECOMPLETE));
    return id;
}

} // namespace opcsim

#include "stream.h"

#include "opcda.h"

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

} // namespace

HGLOBAL BuildDataTimeStream(DWORD clientGroup, DWORD transaction,
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
    return ToGlobal(bytes);
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

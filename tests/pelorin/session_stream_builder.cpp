#include "session_stream_builder.h"

#include <cstring>

namespace {

void Append(std::vector<BYTE>& out, const void* data, size_t bytes) {
    const BYTE* p = static_cast<const BYTE*>(data);
    out.insert(out.end(), p, p + bytes);
}

template <typename T> void AppendValue(std::vector<BYTE>& out, T value) {
    Append(out, &value, sizeof value);
}

std::vector<BYTE> VariantBytes(VARTYPE type) {
    std::vector<BYTE> out(16, 0);
    std::memcpy(out.data(), &type, sizeof type);
    return out;
}

// A string as servers write it: byte count, characters, NUL character.
void AppendString(std::vector<BYTE>& out, const std::wstring& text) {
    AppendValue<DWORD>(out, static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    Append(out, text.data(), text.size() * sizeof(wchar_t));
    AppendValue<WCHAR>(out, 0);
}

void AppendDescriptor(std::vector<BYTE>& out, USHORT features, ULONG elementBytes, ULONG count,
                      LONG lowerBound) {
    AppendValue<USHORT>(out, 1); // dimensions
    AppendValue<USHORT>(out, features);
    AppendValue<ULONG>(out, elementBytes);
    AppendValue<ULONG>(out, 0); // locks
    AppendValue<ULONG>(out, 0); // data pointer: meaningless in a stream
    AppendValue<ULONG>(out, count);
    AppendValue<LONG>(out, lowerBound);
}

} // namespace

StreamBuilder& StreamBuilder::Add(OPCHANDLE client, WORD quality, FILETIME time,
                                  std::vector<BYTE> value) {
    pending_.push_back(Pending{client, quality, time, std::move(value)});
    return *this;
}

StreamBuilder& StreamBuilder::Plain(OPCHANDLE client, VARTYPE type, const void* value, size_t bytes,
                                    WORD quality, FILETIME time) {
    std::vector<BYTE> out = VariantBytes(type);
    if (type == VT_DECIMAL) {
        std::memcpy(out.data(), value, 16);
        std::memcpy(out.data(), &type, sizeof type);
    } else {
        std::memcpy(out.data() + 8, value, bytes);
    }
    return Add(client, quality, time, std::move(out));
}

StreamBuilder& StreamBuilder::I4(OPCHANDLE client, LONG value, WORD quality, FILETIME time) {
    return Plain(client, VT_I4, &value, sizeof value, quality, time);
}

StreamBuilder& StreamBuilder::Text(OPCHANDLE client, const std::wstring& text, WORD quality,
                                   FILETIME time) {
    std::vector<BYTE> out = VariantBytes(VT_BSTR);
    AppendString(out, text);
    return Add(client, quality, time, std::move(out));
}

StreamBuilder& StreamBuilder::TextArray(OPCHANDLE client, LONG lowerBound,
                                        const std::vector<std::wstring>& texts, WORD quality,
                                        FILETIME time) {
    std::vector<BYTE> out = VariantBytes(VT_ARRAY | VT_BSTR);
    const ULONG count = static_cast<ULONG>(texts.size());
    AppendDescriptor(out, FADF_BSTR, sizeof(BSTR), count, lowerBound);
    out.resize(out.size() + count * sizeof(BSTR), 0); // the element slots
    for (const std::wstring& text : texts)
        AppendString(out, text);
    return Add(client, quality, time, std::move(out));
}

StreamBuilder& StreamBuilder::Array(OPCHANDLE client, VARTYPE elementType, ULONG elementBytes,
                                    LONG lowerBound, ULONG count, const void* data, WORD quality,
                                    FILETIME time) {
    std::vector<BYTE> out = VariantBytes(VT_ARRAY | elementType);
    AppendDescriptor(out, 0, elementBytes, count, lowerBound);
    Append(out, data, static_cast<size_t>(count) * elementBytes);
    return Add(client, quality, time, std::move(out));
}

std::vector<BYTE> StreamBuilder::Build(std::vector<BuiltItem>* items) const {
    const size_t headersEnd = 20 + 20 * pending_.size();
    std::vector<BYTE> out(headersEnd, 0);
    if (items)
        items->clear();
    for (size_t i = 0; i < pending_.size(); ++i) {
        const Pending& item = pending_[i];
        while (out.size() % 8 != 0) // servers keep VARIANTs aligned
            out.push_back(0);
        const size_t headerAt = 20 + 20 * i;
        const size_t valueAt = out.size();
        Poke<DWORD>(out, headerAt, item.client);
        Poke<DWORD>(out, headerAt + 4, static_cast<DWORD>(valueAt));
        Poke<WORD>(out, headerAt + 8, item.quality);
        Poke<DWORD>(out, headerAt + 12, item.time.dwLowDateTime);
        Poke<DWORD>(out, headerAt + 16, item.time.dwHighDateTime);
        out.insert(out.end(), item.value.begin(), item.value.end());
        if (items)
            items->push_back(BuiltItem{headerAt, valueAt, out.size()});
    }
    Poke<DWORD>(out, 0, static_cast<DWORD>(out.size()));
    Poke<DWORD>(out, 4, static_cast<DWORD>(pending_.size()));
    Poke<DWORD>(out, 8, 1324); // the client group handle
    return out;
}

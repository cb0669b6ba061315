// Builds "OPCSTMFORMATDATATIME" streams laid out the way a server writes them: the group header,
// one item header per item, then each item's VARIANT with its string or array data. Tests
// corrupt the bytes afterwards at the recorded positions.
#pragma once

#include <windows.h>
// after windows.h
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "opcda.h"

struct BuiltItem {
    size_t headerAt = 0; // offset of the item header
    size_t valueAt = 0;  // offset of the VARIANT
    size_t valueEnd = 0; // one past the item's last value byte
};

class StreamBuilder {
public:
    // Plain values: `bytes` of the value (at most 8, or 16 for VT_DECIMAL, which fills the
    // whole VARIANT) stored at the VARIANT's value field.
    StreamBuilder& Plain(OPCHANDLE client, VARTYPE type, const void* value, size_t bytes,
                         WORD quality = 0xC0, FILETIME time = {});
    StreamBuilder& I4(OPCHANDLE client, LONG value, WORD quality = 0xC0, FILETIME time = {});
    StreamBuilder& Text(OPCHANDLE client, const std::wstring& text, WORD quality = 0xC0,
                        FILETIME time = {});
    StreamBuilder& TextArray(OPCHANDLE client, LONG lowerBound,
                             const std::vector<std::wstring>& texts, WORD quality = 0xC0,
                             FILETIME time = {});
    // A one-dimensional array of a plain type; `data` holds count * elementBytes bytes.
    StreamBuilder& Array(OPCHANDLE client, VARTYPE elementType, ULONG elementBytes, LONG lowerBound,
                         ULONG count, const void* data, WORD quality = 0xC0, FILETIME time = {});

    // The stream and where each item landed (in the order added).
    std::vector<BYTE> Build(std::vector<BuiltItem>* items = nullptr) const;

private:
    struct Pending {
        OPCHANDLE client;
        WORD quality;
        FILETIME time;
        std::vector<BYTE> value; // VARIANT and extra data, as it goes into the stream
    };
    StreamBuilder& Add(OPCHANDLE client, WORD quality, FILETIME time, std::vector<BYTE> value);
    std::vector<Pending> pending_;
};

// Little-endian field access on a stream.
template <typename T> void Poke(std::vector<BYTE>& bytes, size_t at, T value) {
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[at + i] = static_cast<BYTE>(static_cast<uint64_t>(value) >> (8 * i));
}

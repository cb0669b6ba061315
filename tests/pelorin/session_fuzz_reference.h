// The "OPCSTMFORMATDATATIME" format read independently of the reader under test, for the
// fuzzer's reference: what an item header describes, and what a record holds, both in one
// canonical form (quality, timestamp, type and the value's bytes) so that they compare.
#pragma once

#include <windows.h>
// after windows.h
#include <oleauto.h>

#include <cstring>
#include <string>
#include <vector>

#include "session/item_value_record.h"

namespace fuzz {

// Bytes of one value of a plain type; 0 for any other type.
size_t PlainBytes(VARTYPE type);
// The plain types a stream may carry, alone or as array elements.
extern const VARTYPE kPlainTypes[17];

template <typename T> T At(const std::vector<BYTE>& bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

std::string Canonical(WORD quality, const FILETIME& time, VARTYPE type, const std::string& body);
std::string Describe(const pelorin::ItemValueRecord& record);
// What item header `index` of a stream describes, read the way the format lays values out;
// empty when the item is not readable within `size` bytes.
std::string Derive(const std::vector<BYTE>& bytes, size_t size, size_t index);
// A description with its bytes in hex, for a failure message.
std::string Printable(const std::string& text);

} // namespace fuzz

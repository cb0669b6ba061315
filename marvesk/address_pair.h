// The host-owned record that this step edits: two signed 32-bit little-endian addresses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marvesk {

struct AddressPair {
    int32_t source;
    int32_t target;
};

static_assert(offsetof(AddressPair, source) == 0, "source address at offset 0");
static_assert(offsetof(AddressPair, target) == 4, "target address at offset 4");
static_assert(sizeof(AddressPair) == 8, "the plug-in touches exactly 8 bytes");

} // namespace marvesk

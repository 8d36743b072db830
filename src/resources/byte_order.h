// Byte order: the database is little-endian; the host's order is tested at
// run time and data are swapped field by field on a big-endian host.
#pragma once

#include <cstdint>

namespace vrel {

// 1 on a big-endian host, 0 on a little-endian one.
int hostIsBigEndian();
// In place: unit 2 swaps each byte pair, unit 4 reverses each group of four;
// a remainder shorter than a unit and any other unit are left alone.
void swapBytes(void* address, int32_t length, int16_t unit);

// Little-endian loads from unaligned bytes, independent of the host order.
inline uint16_t loadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace vrel

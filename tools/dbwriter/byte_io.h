// Little-endian byte helpers of the database writer (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace vrel::dbwriter::detail {

inline void putU8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
inline void putU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
template <typename Range>
inline void putBytes(std::vector<uint8_t>& out, const Range& bytes) {
    out.insert(out.end(), std::begin(bytes), std::end(bytes));
}
inline void setU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
}

inline uint16_t getU16(std::span<const uint8_t> in, size_t at) {
    return static_cast<uint16_t>(in[at] | (in[at + 1] << 8));
}
inline uint32_t getU32(std::span<const uint8_t> in, size_t at) {
    return static_cast<uint32_t>(in[at]) | (static_cast<uint32_t>(in[at + 1]) << 8) |
           (static_cast<uint32_t>(in[at + 2]) << 16) | (static_cast<uint32_t>(in[at + 3]) << 24);
}
template <typename Array>
inline void getBytes(std::span<const uint8_t> in, size_t at, Array& out) {
    for (size_t i = 0; i < out.size(); ++i) out[i] = in[at + i];
}

// Narrowing to a file field of fixed width, refusing values that would not fit.
inline uint32_t checkedU32(size_t v, const char* what) {
    if (v > 0xffffffffu) throw std::invalid_argument(what);
    return static_cast<uint32_t>(v);
}

} // namespace vrel::dbwriter::detail

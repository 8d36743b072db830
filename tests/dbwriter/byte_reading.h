// Little-endian readers for the byte-layout checks of the writer tests,
// written without the writer's own helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dbwriter_test {

inline uint32_t u8at(const std::vector<uint8_t>& b, size_t at) { return b.at(at); }
inline uint32_t u16at(const std::vector<uint8_t>& b, size_t at) { return b.at(at) + 256u * b.at(at + 1); }
inline uint32_t u32at(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) + 0x100u * b.at(at + 1) + 0x10000u * b.at(at + 2) + 0x1000000u * b.at(at + 3);
}
inline std::vector<uint8_t> slice(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::vector<uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(at),
                                b.begin() + static_cast<std::ptrdiff_t>(at + n));
}
inline std::string textAt(const std::vector<uint8_t>& b, size_t at, size_t n) {
    std::string s;
    for (size_t i = 0; i < n && b.at(at + i) != 0; ++i) s += static_cast<char>(b[at + i]);
    return s;
}
inline bool allZero(const std::vector<uint8_t>& b, size_t at, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (b.at(at + i) != 0) return false;
    return true;
}

} // namespace dbwriter_test

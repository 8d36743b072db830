// The two on-dot rules on one line of bit planes (most significant bit
// first), written once over a block type: the whole bytes between the
// partial first and last byte go one block at a time, so the same code serves
// plain 64-bit words and, with GCC and Clang, 16- and 32-byte vectors.
// Internal to the library and its tests.
#pragma once

#include <cstdint>
#include <cstring>

namespace vrel::ondot {

// The processed pixels [first, end) of a line, in bytes and masks.
struct BitRange {
    int32_t firstByte; // byte holding pixel `first`
    int32_t lastByte;  // byte holding pixel end - 1
    uint8_t firstMask; // bits of firstByte inside the range
    uint8_t lastMask;  // bits of lastByte inside the range
    bool empty;
};

// A negative first pixel or an end at or before it gives an empty range.
inline BitRange bitRange(int32_t first, int32_t end) {
    BitRange range{};
    range.empty = first < 0 || end <= first;
    if (range.empty) {
        return range;
    }
    range.firstByte = first >> 3;
    range.lastByte = (end - 1) >> 3;
    range.firstMask = static_cast<uint8_t>(0xffu >> (first & 7));
    range.lastMask = static_cast<uint8_t>(0xff00u >> (((end - 1) & 7) + 1));
    if (range.firstByte == range.lastByte) {
        range.firstMask &= range.lastMask;
        range.lastMask = range.firstMask;
    }
    return range;
}

using WordBlock = uint64_t;
#if defined(__GNUC__) || defined(__clang__)
#define VREL_HAS_VECTOR_BLOCKS 1
typedef uint64_t VectorBlock16 __attribute__((vector_size(16)));
typedef uint64_t VectorBlock32 __attribute__((vector_size(32)));
// The rules are inlined into each caller, so that a caller built for a wider
// instruction set gets them built for it too.
#define VREL_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define VREL_HAS_VECTOR_BLOCKS 0
#define VREL_ALWAYS_INLINE inline
#endif
// GCC does not unroll the block loops at -O2 on its own; a few blocks per
// iteration keep the loads and stores in flight.
#if defined(__GNUC__) && !defined(__clang__)
#define VREL_UNROLL_BLOCKS _Pragma("GCC unroll 4")
#else
#define VREL_UNROLL_BLOCKS
#endif

// Blocks are only ever local variables, filled and emptied with memcpy, so no
// vector crosses a function boundary (whose passing would depend on the
// instruction set the caller was built for).

// Black rule: the range of one plane inverted, every other bit kept.
template <typename Block>
VREL_ALWAYS_INLINE void invertRange(uint8_t* plane, const BitRange& range) {
    if (range.empty) {
        return;
    }
    plane[range.firstByte] = static_cast<uint8_t>(plane[range.firstByte] ^ range.firstMask);
    if (range.lastByte == range.firstByte) {
        return;
    }
    constexpr auto blockBytes = static_cast<int32_t>(sizeof(Block));
    int32_t at = range.firstByte + 1;
    VREL_UNROLL_BLOCKS
    for (; at + blockBytes <= range.lastByte; at += blockBytes) {
        Block v;
        std::memcpy(&v, plane + at, sizeof v);
        v = ~v;
        std::memcpy(plane + at, &v, sizeof v);
    }
    for (; at < range.lastByte; ++at) {
        plane[at] = static_cast<uint8_t>(~plane[at]);
    }
    plane[range.lastByte] = static_cast<uint8_t>(plane[range.lastByte] ^ range.lastMask);
}

// The four-colour rule on one byte: the bits of C, M and Y outside `mask`
// kept, those of K left 0.
VREL_ALWAYS_INLINE void fourColourByte(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, int32_t at,
                                       uint8_t mask) {
    const auto keep = static_cast<uint8_t>(~mask);
    const uint8_t cv = c[at];
    const uint8_t mv = m[at];
    const uint8_t yv = y[at];
    const auto kv = static_cast<uint8_t>(~(cv | mv | yv));
    c[at] = static_cast<uint8_t>((cv & keep) | (~(cv | kv) & mask));
    m[at] = static_cast<uint8_t>((mv & keep) | (~(mv | kv) & mask));
    y[at] = static_cast<uint8_t>((yv & keep) | (~(yv | kv) & mask));
    k[at] = static_cast<uint8_t>(kv & mask);
}

// Four-colour rule: K = NOT (C OR M OR Y), then C, M, Y = NOT (plane OR K)
// over the range; K is 0 everywhere else on the line (lineBytes bytes).
template <typename Block>
VREL_ALWAYS_INLINE void fourColourRange(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k,
                                        int32_t lineBytes, const BitRange& range) {
    // K outside the range is cleared; inside it every byte is written below.
    // A line of no byte touches no plane (its address may be null).
    if (range.empty) {
        if (lineBytes > 0) {
            std::memset(k, 0, static_cast<size_t>(lineBytes));
        }
        return;
    }
    std::memset(k, 0, static_cast<size_t>(range.firstByte));
    if (range.lastByte + 1 < lineBytes) {
        std::memset(k + range.lastByte + 1, 0, static_cast<size_t>(lineBytes - range.lastByte - 1));
    }
    fourColourByte(c, m, y, k, range.firstByte, range.firstMask);
    if (range.lastByte == range.firstByte) {
        return;
    }
    constexpr auto blockBytes = static_cast<int32_t>(sizeof(Block));
    int32_t at = range.firstByte + 1;
    VREL_UNROLL_BLOCKS
    for (; at + blockBytes <= range.lastByte; at += blockBytes) {
        Block cv, mv, yv;
        std::memcpy(&cv, c + at, sizeof cv);
        std::memcpy(&mv, m + at, sizeof mv);
        std::memcpy(&yv, y + at, sizeof yv);
        const Block kv = ~(cv | mv | yv);
        cv = ~(cv | kv);
        mv = ~(mv | kv);
        yv = ~(yv | kv);
        std::memcpy(c + at, &cv, sizeof cv);
        std::memcpy(m + at, &mv, sizeof mv);
        std::memcpy(y + at, &yv, sizeof yv);
        std::memcpy(k + at, &kv, sizeof kv);
    }
    for (; at < range.lastByte; ++at) {
        fourColourByte(c, m, y, k, at, 0xff);
    }
    fourColourByte(c, m, y, k, range.lastByte, range.lastMask);
}

} // namespace vrel::ondot

// VrelOnDotBlack: one line of bilevel bit planes (most significant bit
// first) turned from the light sense into ink dots, in place.
//
//   MethodBlack      plane 3 inverted over the range.
//   MethodFourColor  K = NOT (C OR M OR Y); then C, M, Y = NOT (plane OR K)
//                    over the range; the black plane is cleared for the whole
//                    line first, so its bits outside the range end up 0.
//
// Both rules are pure logic on whole bytes: a partial first and last byte are
// merged under masks that keep the bits outside the range, and the bytes in
// between go a block of bytes at a time, with no per-pixel branch.
#include "interface/engine_context.h"

#include <cstring>

namespace vrel {

namespace {

// The processed pixels [first, end) of a line, in bytes and masks.
struct BitRange {
    int32_t firstByte; // byte holding pixel `first`
    int32_t lastByte;  // byte holding pixel end - 1
    uint8_t firstMask; // bits of firstByte inside the range
    uint8_t lastMask;  // bits of lastByte inside the range
    bool empty;
};

BitRange bitRange(int32_t first, int32_t end) {
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

// The whole bytes between the partial ends go a block at a time. With GCC and
// Clang a block is a 16-byte vector (lowered to the widest registers the
// target has, plain words at worst); elsewhere it is one 64-bit word. Blocks
// are only ever local variables, filled and emptied with memcpy, so no
// vector crosses a function boundary.
#if defined(__GNUC__) || defined(__clang__)
typedef uint64_t Block __attribute__((vector_size(16)));
#else
typedef uint64_t Block;
#endif
inline constexpr int32_t kBlockBytes = static_cast<int32_t>(sizeof(Block));

// GCC does not unroll the block loops at -O2 on its own; a few blocks per
// iteration keep the loads and stores in flight.
#if defined(__GNUC__) && !defined(__clang__)
#define VREL_UNROLL_BLOCKS _Pragma("GCC unroll 4")
#else
#define VREL_UNROLL_BLOCKS
#endif

// Inverts the bits of `mask` in one byte.
inline void invertByte(uint8_t* plane, int32_t at, uint8_t mask) {
    plane[at] = static_cast<uint8_t>(plane[at] ^ mask);
}

void invertRange(uint8_t* plane, const BitRange& range) {
    if (range.empty) {
        return;
    }
    invertByte(plane, range.firstByte, range.firstMask);
    if (range.lastByte == range.firstByte) {
        return;
    }
    int32_t at = range.firstByte + 1;
    VREL_UNROLL_BLOCKS
    for (; at + kBlockBytes <= range.lastByte; at += kBlockBytes) {
        Block v;
        std::memcpy(&v, plane + at, sizeof v);
        v = ~v;
        std::memcpy(plane + at, &v, sizeof v);
    }
    for (; at < range.lastByte; ++at) {
        plane[at] = static_cast<uint8_t>(~plane[at]);
    }
    invertByte(plane, range.lastByte, range.lastMask);
}

// The four-colour rule on one byte, the bits outside `mask` of C, M and Y
// kept and those of K left 0.
inline void fourColourByte(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, int32_t at,
                           uint8_t mask) {
    const uint8_t keep = static_cast<uint8_t>(~mask);
    const uint8_t cv = c[at];
    const uint8_t mv = m[at];
    const uint8_t yv = y[at];
    const uint8_t kv = static_cast<uint8_t>(~(cv | mv | yv));
    c[at] = static_cast<uint8_t>((cv & keep) | (~(cv | kv) & mask));
    m[at] = static_cast<uint8_t>((mv & keep) | (~(mv | kv) & mask));
    y[at] = static_cast<uint8_t>((yv & keep) | (~(yv | kv) & mask));
    k[at] = static_cast<uint8_t>(kv & mask);
}

void fourColourRange(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, int32_t lineBytes,
                     const BitRange& range) {
    // K outside the range is cleared; inside it every byte is written below.
    if (range.empty) {
        std::memset(k, 0, static_cast<size_t>(lineBytes));
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
    int32_t at = range.firstByte + 1;
    VREL_UNROLL_BLOCKS
    for (; at + kBlockBytes <= range.lastByte; at += kBlockBytes) {
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

} // namespace

} // namespace vrel

// Result: 0 after processing, VREL_ERR_PARAM (no plane touched) when the
// context's method is neither MethodBlack nor MethodFourColor.
//
// The range is [skipStart, count - skipEnd). A negative skipStart or an end
// at or before the start is an empty range. The range never reaches past the
// line: a negative count is a line of no pixels, and a negative skipEnd is
// taken as 0, so nothing beyond the (count + 7) / 8 bytes of each plane is
// ever read or written.
extern "C" VREL_API VrelResult VREL_CALL VrelOnDotBlack(uint8_t* plane0, uint8_t* plane1,
                                                        uint8_t* plane2, uint8_t* plane3,
                                                        int16_t count, int16_t skipStart,
                                                        int16_t skipEnd, uint32_t /*reserved*/,
                                                        EngineContext* context) {
    if (context == nullptr) {
        return VREL_ERR_PARAM;
    }
    const int16_t method = context->conversionMethod;
    if (method != VrelMethodBlack && method != VrelMethodFourColor) {
        return VREL_ERR_PARAM;
    }
    const int32_t pixels = count < 0 ? 0 : count;
    const int32_t end = skipEnd < 0 ? pixels : pixels - skipEnd;
    const vrel::BitRange range = vrel::bitRange(skipStart, end);
    if (method == VrelMethodBlack) {
        vrel::invertRange(plane3, range);
    } else {
        vrel::fourColourRange(plane0, plane1, plane2, plane3, (pixels + 7) / 8, range);
    }
    return VREL_OK;
}

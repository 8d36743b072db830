// Colour result cache: 4096 direct-mapped slots addressed by the low nibble
// of each colour channel (the slot of a key is computed by the kernels,
// kernels_inl.h). Each interpolating kernel remembers the result of
// every colour it interpolated here; a repeated colour costs one slot
// computation and one compare instead of an interpolation.
#pragma once

#include <cstdint>

namespace vrel {

inline constexpr int kCacheSlots = 4096;
// Initial key of every slot: no colour packed with the default key layout
// matches it except white (whose low byte is also 0).
inline constexpr uint32_t kEmptyCacheKey = 0xffffff00u;

struct CacheEntry8 {
    uint32_t key;
    uint8_t value[4];
};
struct CacheEntry12 {
    uint32_t key;
    uint8_t value[8];
};

template <typename Entry> struct ColourCache {
    int16_t slotCount;
    int16_t lastSlot;
    Entry entries[kCacheSlots];
};

using ColourCache8 = ColourCache<CacheEntry8>;
using ColourCache12 = ColourCache<CacheEntry12>;
static_assert(sizeof(ColourCache8) == 32772);
static_assert(sizeof(ColourCache12) == 49156);

// The three key shifts held in a context's kernelFlags.
struct KeyLayout {
    uint32_t shift0, shift1, shift2;
    explicit KeyLayout(uint32_t kernelFlags)
        : shift0((kernelFlags >> 24) & 31), shift1((kernelFlags >> 16) & 31),
          shift2((kernelFlags >> 8) & 31) {}
    // Always inlined: the kernels of every instruction-set level call it.
    [[gnu::always_inline]] uint32_t pack(uint32_t c0, uint32_t c1, uint32_t c2) const {
        return ((c0 << shift0) & (0xffu << shift0)) | ((c1 << shift1) & (0xffu << shift1)) |
               ((c2 << shift2) & (0xffu << shift2));
    }
};

} // namespace vrel

// The four builders of the prepared table (16-bit grid, palette, grey ramp,
// mono pair), sharing one frame: allocate the block, publish its address,
// fill the entries in increasing index order, release the lock.
#include "convert/conversion.h"
#include "core/colour_cache.h"
#include "core/pixel_formats.h"
#include "resources/block_layer.h"
#include "setup/prepared_entry.h"
#include "setup/prepared_table.h"

#include <cstring>

namespace vrel {

namespace {

// Allocates the table block and runs fill(table) over it. On allocation
// failure the context keeps no table and the result is VREL_ERR_MEMORY.
template <typename Fill>
VrelResult buildInPreparedBlock(EngineContext* context, uint32_t size, Fill fill) {
    context->preparedAddress = nullptr;
    if (allocBlock(size, &context->preparedBlock) != 0) {
        return VREL_ERR_MEMORY;
    }
    auto* table = static_cast<uint8_t*>(context->preparedBlock.address);
    context->preparedAddress = table;
    fill(table);
    return VREL_OK;
}

// Five-bit level n stands for the 8-bit value 8n + n/4: 0, 8, 16, 24, 33, ...,
// 247, 255. The walk reaches it by adding 8 inside each group of four levels
// and 9 from the last level of a group to the first of the next.
inline int nextLevelValue(int value, int level) {
    return value + ((level & 3) == 3 ? 9 : 8);
}

// Converts one red plane of the grid (1024 colours, green then blue
// ascending) into its entries with as few conversion calls as give exactly
// what one call per colour gives. A call starts with its previous-pixel
// register holding the empty cache key, so a pixel whose key repeats its
// neighbour's, or equals the empty key, would be answered from the register
// in a longer run but looked up (or the other way round) in a call of its
// own: such a pixel starts a new call. With the key layouts of a built
// context no two grid neighbours share a key, so a plane is one call, except
// the grid's last colour, white, under the default layout.
//
// The four-colour entry (C, M, Y, K) is a Cmyk32 pixel, so those calls write
// straight into the table; the cache sees the same lookups and stores for
// every four-ink output format. The three-channel entry (the channels of an
// Xrgb32 result, then 0) is reordered from a buffer.
template <bool ThreeChannel>
void makePlaneEntries(const EntryMaker& maker, uint8_t red, uint8_t* entry) {
    constexpr int kPlane = 1024;
    constexpr uint32_t inFormat = ThreeChannel ? Xrgb32 : Rgb24;
    constexpr uint32_t outFormat = ThreeChannel ? Xrgb32 : Cmyk32;
    constexpr uint32_t inBytes = ThreeChannel ? 4 : 3;
    // Xrgb32: byte 0 spare (zero), then red, green, blue; Rgb24: red,
    // green, blue. Either way the channels are the pixel's last three bytes.
    //
    // A key is the OR of its three channels' packed parts, so the parts of
    // the plane's red, of each green and of each blue are packed once.
    const KeyLayout layout(maker.context->kernelFlags);
    uint8_t levels[32];
    uint32_t blueKeys[32];
    for (int n = 0, value = 0; n < 32; value = nextLevelValue(value, n), ++n) {
        levels[n] = static_cast<uint8_t>(value);
        blueKeys[n] = layout.pack(0, 0, static_cast<uint32_t>(value));
    }
    const uint32_t redKey = layout.pack(red, 0, 0);
    uint8_t source[kPlane * 4];
    uint8_t result[kPlane * 4];
    uint8_t* const out = ThreeChannel ? result : entry;
    uint32_t previousKey = kEmptyCacheKey;
    int start = 0;
    uint8_t* pixel = source;
    for (int g = 0, i = 0; g < 32; ++g) {
        const uint32_t redGreenKey = redKey | layout.pack(0, levels[g], 0);
        for (int b = 0; b < 32; ++b, ++i, pixel += inBytes) {
            pixel[0] = ThreeChannel ? 0 : red;
            pixel[inBytes - 3] = red;
            pixel[inBytes - 2] = levels[g];
            pixel[inBytes - 1] = levels[b];
            const uint32_t key = redGreenKey | blueKeys[b];
            if (i > start && (key == previousKey || key == kEmptyCacheKey)) {
                vrel::convertBitmap(inFormat, outFormat, source + start * inBytes, out + start * 4,
                                    static_cast<uint32_t>(i - start), 0, 0, 0, maker.context);
                start = i;
            }
            previousKey = key;
        }
    }
    vrel::convertBitmap(inFormat, outFormat, source + start * inBytes, out + start * 4,
                        static_cast<uint32_t>(kPlane - start), 0, 0, 0, maker.context);
    if constexpr (ThreeChannel) {
        for (int k = 0; k < kPlane; ++k, entry += kPreparedEntryBytes) {
            // Xrgb32 result: channels in bytes 1, 2, 3.
            entry[0] = result[4 * k + 1];
            entry[1] = result[4 * k + 2];
            entry[2] = result[4 * k + 3];
            entry[3] = 0;
        }
    }
}

} // namespace

VrelResult buildRgb555Table(EngineContext* context) {
    // The grid is never corrected first, whatever the adjustment switch says.
    const EntryMaker maker = entryMakerFor(context, false);
    const bool converts =
        maker.method == VrelMethodThreeChannel || maker.method == VrelMethodFourColor;
    return buildInPreparedBlock(context, kRgb555TableBytes, [&](uint8_t* table) {
        // Red outermost, blue innermost: the entry index is the Rgb555 word
        // with its top bit cleared. The converting methods take one red plane
        // per conversion call (see makePlaneEntries); the black method computes
        // each entry directly.
        uint8_t* entry = table;
        for (int r = 0, red = 0; r < 32; ++r, red = nextLevelValue(red, r - 1)) {
            if (converts) {
                if (maker.method == VrelMethodThreeChannel) {
                    makePlaneEntries<true>(maker, static_cast<uint8_t>(red), entry);
                } else {
                    makePlaneEntries<false>(maker, static_cast<uint8_t>(red), entry);
                }
                entry += 1024 * kPreparedEntryBytes;
                continue;
            }
            for (int g = 0, green = 0; g < 32; ++g, green = nextLevelValue(green, g - 1)) {
                for (int b = 0, blue = 0; b < 32; ++b, blue = nextLevelValue(blue, b - 1)) {
                    makeEntry(maker, static_cast<uint8_t>(red), static_cast<uint8_t>(green),
                              static_cast<uint8_t>(blue), entry);
                    entry += kPreparedEntryBytes;
                }
            }
        }
    });
}

VrelResult buildPaletteTable(EngineContext* context, const PaletteRecord* const* palette) {
    const EntryMaker maker = entryMakerFor(context, true);
    return buildInPreparedBlock(context, kPaletteTableBytes, [&](uint8_t* table) {
        // A null handle, or a handle that holds (or comes to hold) null, ends
        // the palette: the remaining entries stay zero, as for a palette whose
        // lastIndex is negative. The handle and lastIndex are read anew
        // before every colour, because the conversion calls in between may
        // run for a while and the caller owns the record.
        if (palette == nullptr) {
            return;
        }
        for (uint32_t i = 0; i < kPaletteEntries; ++i) {
            const PaletteRecord* record = *palette;
            if (record == nullptr || static_cast<int32_t>(i) > record->lastIndex) {
                return;
            }
            const uint8_t* colour = record->colours[i];
            makeEntry(maker, colour[0], colour[1], colour[2], table + i * kPreparedEntryBytes);
        }
    });
}

VrelResult buildGrayTable(EngineContext* context) {
    const EntryMaker maker = entryMakerFor(context, false);
    return buildInPreparedBlock(context, kGrayTableBytes, [&](uint8_t* table) {
        for (uint32_t v = 0; v < kGrayEntries; ++v) {
            uint8_t* entry = table + v * kPreparedEntryBytes;
            if (maker.method == VrelMethodBlack) {
                // The grey level indexes the grey curve itself: the luminance
                // sum of (v, v, v) is not always v (128 gives 129).
                entry[3] = context->adjustCurves[3][context->greyCurve[v]];
            } else {
                const auto grey = static_cast<uint8_t>(v);
                makeEntry(maker, grey, grey, grey, entry);
            }
        }
    });
}

VrelResult buildMonoTable(EngineContext* context) {
    const EntryMaker maker = entryMakerFor(context, true);
    return buildInPreparedBlock(context, kMonoTableBytes, [&](uint8_t* table) {
        // Entry 0 serves a clear bit (white), entry 1 a set bit (black).
        makeEntry(maker, 255, 255, 255, table);
        makeEntry(maker, 0, 0, 0, table + kPreparedEntryBytes);
    });
}

void releasePreparedTable(EngineContext* context) {
    if (context->preparedAddress != nullptr || context->preparedBlock.address != nullptr) {
        freeBlock(&context->preparedBlock);
    }
    context->preparedAddress = nullptr;
}

} // namespace vrel

// The four builders of the prepared table (16-bit grid, palette, grey ramp,
// mono pair), sharing one frame: allocate the block, publish its address,
// fill the entries in increasing index order, release the lock.
#include "convert/colour_cache.h"
#include "convert/pixel_formats.h"
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
    auto* table = static_cast<uint8_t*>(lockBlock(&context->preparedBlock));
    if (table == nullptr) {
        freeBlock(&context->preparedBlock);
        return VREL_ERR_MEMORY;
    }
    context->preparedAddress = table;
    fill(table);
    unlockBlock(&context->preparedBlock);
    return VREL_OK;
}

// Five-bit level n stands for the 8-bit value 8n + n/4: 0, 8, 16, 24, 33, ...,
// 247, 255. The walk reaches it by adding 8 inside each group of four levels
// and 9 from the last level of a group to the first of the next.
inline int nextLevelValue(int value, int level) {
    return value + ((level & 3) == 3 ? 9 : 8);
}

// Converts count grid colours (red, green and blue in rgb; at most one red
// plane of 1024) into their entries with as few conversion calls as
// give exactly what one call per colour gives. A call starts with its
// previous-pixel register holding the empty cache key, so a pixel whose key
// repeats its neighbour's, or equals the empty key, would be answered from
// the register in a longer run but looked up (or the other way round) in a
// call of its own: such a pixel starts a new call. With the key layouts of a
// built context no two grid neighbours share a key, so a plane is one call,
// except the grid's last colour, white, under the default layout.
void makePlaneEntries(const EntryMaker& maker, const uint8_t (*rgb)[3], int count, uint8_t* entry) {
    constexpr int kPlane = 1024;
    const bool threeChannel = maker.method == VrelMethodThreeChannel;
    const uint32_t inFormat = threeChannel ? Xrgb32 : Rgb24;
    const uint32_t outFormat = threeChannel ? Xrgb32 : Kymc32;
    const uint32_t inBytes = threeChannel ? 4 : 3;
    const KeyLayout layout(maker.context->kernelFlags);
    uint8_t source[kPlane * 4] = {};
    uint8_t result[kPlane * 4] = {};
    for (int i = 0; i < count; ++i) {
        // Xrgb32: byte 0 spare, then red, green, blue; Rgb24: red, green, blue.
        std::memcpy(source + i * inBytes + (threeChannel ? 1 : 0), rgb[i], 3);
    }
    int start = 0;
    uint32_t previousKey = kEmptyCacheKey;
    for (int i = 0; i <= count; ++i) {
        const uint32_t key = i < count ? layout.pack(rgb[i][0], rgb[i][1], rgb[i][2]) : 0;
        const bool splits =
            i == count || (i > start && (key == previousKey || key == kEmptyCacheKey));
        if (splits) {
            VrelBitmapColorConversion(inFormat, outFormat, source + start * inBytes,
                                      result + start * 4, static_cast<uint32_t>(i - start), 0, 0, 0,
                                      maker.context);
            start = i;
        }
        previousKey = key;
    }
    for (int i = 0; i < count; ++i, entry += kPreparedEntryBytes) {
        const uint8_t* pixel = result + i * 4;
        if (threeChannel) {
            // Xrgb32 result: channels in bytes 1, 2, 3.
            entry[0] = pixel[1];
            entry[1] = pixel[2];
            entry[2] = pixel[3];
            entry[3] = 0;
        } else {
            // Kymc32 result: black, yellow, magenta, cyan; the entry is C, M, Y, K.
            entry[0] = pixel[3];
            entry[1] = pixel[2];
            entry[2] = pixel[1];
            entry[3] = pixel[0];
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
        int red = 0;
        for (int r = 0; r < 32; ++r) {
            uint8_t plane[1024][3];
            int green = 0;
            for (int g = 0; g < 32; ++g) {
                int blue = 0;
                for (int b = 0; b < 32; ++b) {
                    uint8_t* colour = plane[32 * g + b];
                    colour[0] = static_cast<uint8_t>(red);
                    colour[1] = static_cast<uint8_t>(green);
                    colour[2] = static_cast<uint8_t>(blue);
                    blue = nextLevelValue(blue, b);
                }
                green = nextLevelValue(green, g);
            }
            if (converts) {
                makePlaneEntries(maker, plane, 1024, entry);
                entry += 1024 * kPreparedEntryBytes;
            } else {
                for (const uint8_t* colour : plane) {
                    makeEntry(maker, colour[0], colour[1], colour[2], entry);
                    entry += kPreparedEntryBytes;
                }
            }
            red = nextLevelValue(red, r);
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
        unlockBlock(&context->preparedBlock);
        freeBlock(&context->preparedBlock);
    }
    context->preparedAddress = nullptr;
}

} // namespace vrel

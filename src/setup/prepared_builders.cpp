// The four builders of the prepared table (16-bit grid, palette, grey ramp,
// mono pair), sharing one frame: allocate the block, publish its address,
// fill the entries in increasing index order, release the lock.
#include "resources/block_layer.h"
#include "setup/prepared_entry.h"
#include "setup/prepared_table.h"

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

} // namespace

VrelResult buildRgb555Table(EngineContext* context) {
    // The grid is never corrected first, whatever the adjustment switch says.
    const EntryMaker maker = entryMakerFor(context, false);
    return buildInPreparedBlock(context, kRgb555TableBytes, [&](uint8_t* table) {
        // Red outermost, blue innermost: the entry index is the Rgb555 word
        // with its top bit cleared.
        uint8_t* entry = table;
        int red = 0;
        for (int r = 0; r < 32; ++r) {
            int green = 0;
            for (int g = 0; g < 32; ++g) {
                int blue = 0;
                for (int b = 0; b < 32; ++b) {
                    makeEntry(maker, static_cast<uint8_t>(red), static_cast<uint8_t>(green),
                              static_cast<uint8_t>(blue), entry);
                    entry += kPreparedEntryBytes;
                    blue = nextLevelValue(blue, b);
                }
                green = nextLevelValue(green, g);
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

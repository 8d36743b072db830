// Colour correction: red, green and blue of each pixel are mapped through the
// context's three-channel correction table (table group 1), keeping the
// pixel format. One kernel serves every format; it is parameterised by how a
// pixel's three channels are read and written (bytes at the format's channel
// offsets, or the three 5-bit fields of an Rgb555 word). Correction in place
// is the copy with the destination equal to the source.
#include "convert/colour_cache.h"
#include "convert/interpolation.h"
#include "convert/pixel_formats.h"
#include "convert/run_span.h"
#include "interface/engine_context.h"
#include "resources/lut_block.h"
#include "vrel/vrel.h"

#include <cstring>

namespace vrel {
namespace {

// Three byte channels at fixed offsets inside a pixel.
struct ByteChannels {
    uint8_t offset0, offset1, offset2;

    void read(const uint8_t* pixel, uint8_t* c) const {
        c[0] = pixel[offset0];
        c[1] = pixel[offset1];
        c[2] = pixel[offset2];
    }
    // In channel order, so a one-byte pixel ends holding channel 2.
    void write(uint8_t* pixel, const uint8_t* r) const {
        pixel[offset0] = r[0];
        pixel[offset1] = r[1];
        pixel[offset2] = r[2];
    }
};

// A little-endian 16-bit word with red in bits 10..14, green in 5..9 and
// blue in 0..4; bit 15 is ignored on reading and written as 0.
struct Rgb555Word {
    static uint8_t widen(uint32_t level) {
        return static_cast<uint8_t>((level << 3) | (level >> 2));
    }

    void read(const uint8_t* pixel, uint8_t* c) const {
        const uint32_t w = static_cast<uint32_t>(pixel[0]) | (static_cast<uint32_t>(pixel[1]) << 8);
        c[0] = widen((w >> 10) & 0x1f);
        c[1] = widen((w >> 5) & 0x1f);
        c[2] = widen(w & 0x1f);
    }
    void write(uint8_t* pixel, const uint8_t* r) const {
        const uint32_t w = (static_cast<uint32_t>(r[0] >> 3) << 10) |
                           (static_cast<uint32_t>(r[1] >> 3) << 5) | (r[2] >> 3);
        pixel[0] = static_cast<uint8_t>(w & 0xff);
        pixel[1] = static_cast<uint8_t>(w >> 8);
    }
};

// The correction table, its cache, the input curve and the key layout of a
// context, taken once per call.
struct CorrectionTables {
    const LutBlock* lut;
    ColourCache8* cache;
    const uint8_t* inputCurve;
    KeyLayout keys;
};

template <typename Pixel>
void correctRun(const Pixel& pixel, const CorrectionTables& t, const uint8_t* source,
                uint8_t* destination, uint32_t step, int32_t count) {
    // A run that starts with the initial key (white with the default key
    // layout) is written from these registers without a lookup.
    uint32_t previousKey = kEmptyCacheKey;
    uint8_t result[4] = {255, 255, 255, 0};
    for (int32_t i = 0; i < count; ++i) {
        uint8_t c[3];
        pixel.read(source, c);
        const uint32_t key = t.keys.pack(c[0], c[1], c[2]);
        if (key != previousKey) {
            previousKey = key;
            if (const CacheEntry8* hit = cacheLookup(t.cache, key)) {
                std::memcpy(result, hit->value, 4);
            } else {
                const Tetrahedron tetra = locateTetrahedron(t.lut, t.inputCurve[c[0]],
                                                            t.inputCurve[c[1]], t.inputCurve[c[2]]);
                interpolateNode<3>(tetra, result);
                CacheEntry8& slot = t.cache->entries[t.cache->lastSlot];
                slot.key = key;
                std::memcpy(slot.value, result, 4);
            }
        }
        pixel.write(destination, result);
        source += step;
        destination += step;
    }
}

} // namespace
} // namespace vrel

// Formats without colour channels, empty runs, a negative skipStart and a
// null context do nothing. A context without a correction table (its profile
// names none: no table block and no cache in group 1) leaves every pixel,
// source and destination alike, unchanged and reports 0; no table is read.
extern "C" VREL_API VrelResult VREL_CALL
VrelBitmapColorCorrection(uint32_t format, const void* source, void* destination, uint16_t count,
                          int16_t skipStart, uint16_t skipEnd, EngineContext* context) {
    using namespace vrel;
    if (format >= kFormatCount || kPixelFormats[format].offset[0] == kNoChannel) {
        return VREL_OK;
    }
    const int32_t n = convertedPixels(count, skipStart, skipEnd);
    if (n <= 0 || context == nullptr) {
        return VREL_OK;
    }
    TableGroup& group = context->groups[1];
    const LutBlock* lut = static_cast<const LutBlock*>(group.lutBlock.address);
    ColourCache8* cache = static_cast<ColourCache8*>(group.cache8Block.address);
    if (lut == nullptr || cache == nullptr || lut->lutReady != kLutReady) {
        return VREL_OK;
    }
    lut = static_cast<const LutBlock*>(lockBlock(&group.lutBlock));
    cache = static_cast<ColourCache8*>(lockBlock(&group.cache8Block));
    const CorrectionTables tables{lut, cache, context->inputCurve, KeyLayout(context->kernelFlags)};

    const PixelFormatDescriptor& row = kPixelFormats[format];
    const uint32_t step = row.bytesPerPixel;
    const uint8_t* first = static_cast<const uint8_t*>(source) + skipStart * step;
    // In place (destination equal to source) this is the first source pixel.
    uint8_t* out = static_cast<uint8_t*>(destination) + skipStart * step;
    if (format == Rgb555) {
        correctRun(Rgb555Word{}, tables, first, out, step, n);
    } else {
        correctRun(ByteChannels{row.offset[0], row.offset[1], row.offset[2]}, tables, first, out,
                   step, n);
    }
    unlockBlock(&group.cache8Block);
    unlockBlock(&group.lutBlock);
    return VREL_OK;
}

// Corrects one packed colour: format 2 holds red in the low byte, format 5
// blue; bits 24..31 are ignored and come back 0. The result is cleared before
// the format is examined, so a refused format leaves it 0.
extern "C" VREL_API VrelResult VREL_CALL VrelPixelColorCorrection(int32_t format, uint32_t colour,
                                                                  uint32_t* result,
                                                                  EngineContext* context) {
    if (result == nullptr) {
        return VREL_ERR_PARAM;
    }
    *result = 0;
    const uint8_t low = static_cast<uint8_t>(colour), mid = static_cast<uint8_t>(colour >> 8),
                  high = static_cast<uint8_t>(colour >> 16);
    uint8_t pixel[3];
    if (format == 2) {
        pixel[0] = low, pixel[1] = mid, pixel[2] = high;
    } else if (format == 5) {
        pixel[0] = high, pixel[1] = mid, pixel[2] = low;
    } else {
        return VREL_ERR_PARAM;
    }
    VrelBitmapColorCorrection(VrelFormatRgb24, pixel, pixel, 1, 0, 0, context);
    const uint32_t red = pixel[0], green = pixel[1], blue = pixel[2];
    *result = format == 2 ? (red | green << 8 | blue << 16) : (blue | green << 8 | red << 16);
    return VREL_OK;
}

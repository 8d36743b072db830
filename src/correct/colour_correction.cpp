// Colour correction: red, green and blue of each pixel are mapped through the
// context's three-channel correction table (table group 1), keeping the
// pixel format. One kernel serves every format; it is parameterised by how a
// pixel's three channels are read and written (bytes at the format's channel
// offsets, or the three 5-bit fields of an Rgb555 word). Correction in place
// is the copy with the destination equal to the source.
#include "convert/kernel_set.h"
#include "convert/run_span.h"
#include "core/engine_context.h"
#include "core/lut_block.h"
#include "core/pixel_formats.h"
#include "correct/correction.h"
#include "vrel/vrel.h"

// Formats without colour channels, empty runs, a negative skipStart and a
// null context do nothing. A context without a correction table (its profile
// names none: no table block and no cache in group 1) leaves every pixel,
// source and destination alike, unchanged and reports 0; no table is read.
VrelResult vrel::correctBitmap(uint32_t format, const void* source, void* destination,
                               uint16_t count, int16_t skipStart, uint16_t skipEnd,
                               EngineContext* context) {
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
    const CorrectionTables tables{lut, cache, context->inputCurve, KeyLayout(context->kernelFlags)};

    const PixelFormatDescriptor& row = kPixelFormats[format];
    const CorrectedPixels pixels{format == Rgb555, {row.offset[0], row.offset[1], row.offset[2]}};
    const uint32_t step = row.bytesPerPixel;
    const uint8_t* first = static_cast<const uint8_t*>(source) + skipStart * step;
    // In place (destination equal to source) this is the first source pixel.
    uint8_t* out = static_cast<uint8_t*>(destination) + skipStart * step;
    kernels().correct(tables, pixels, first, out, step, n);
    return VREL_OK;
}

// Corrects one packed colour: format 2 holds red in the low byte, format 5
// blue; bits 24..31 are ignored and come back 0. The result is cleared before
// the format is examined, so a refused format leaves it 0.
VrelResult vrel::correctPixel(int32_t format, uint32_t colour, uint32_t* result,
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
    vrel::correctBitmap(VrelFormatRgb24, pixel, pixel, 1, 0, 0, context);
    const uint32_t red = pixel[0], green = pixel[1], blue = pixel[2];
    *result = format == 2 ? (red | green << 8 | blue << 16) : (blue | green << 8 | red << 16);
    return VREL_OK;
}

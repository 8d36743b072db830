// VrelBitmapColorConversion: sends a run of pixels to its output group by
// the output format.
#include "convert/bitmap_groups.h"
#include "convert/conversion.h"
#include "convert/run_span.h"
#include "core/pixel_formats.h"

VrelResult vrel::convertBitmap(uint32_t inFormat, uint32_t outFormat, const void* source,
                               void* destination, uint32_t count, int16_t skipStart,
                               uint16_t skipEnd, uint32_t sourceStep, EngineContext* context) {
    using namespace vrel;
    // A driver may pass on the slot of a VrelInit that failed: refuse it.
    if (context == nullptr) {
        return VREL_ERR_PARAM;
    }
    const BitmapRun run{inFormat,
                        outFormat,
                        static_cast<const uint8_t*>(source),
                        static_cast<uint8_t*>(destination),
                        count,
                        skipStart,
                        skipEnd,
                        sourceStep,
                        context};
    // A run with no pixel to convert is done before any group looks at the
    // context: an accepted output format gives 0 and nothing is written.
    const bool nothingToConvert = convertedPixels(count, skipStart, skipEnd) <= 0;
    switch (outFormat) {
    case Bgr24:
    case Bgrx32:
    case Xbgr32:
    case Rgb24:
    case Xrgb32:
        return nothingToConvert ? VREL_OK : rgbOutputGroup(run);
    case Gray8:
    case Black8:
    case Black32:
        return nothingToConvert ? VREL_OK : blackOutputGroup(run);
    case Cmyk32:
    case Kymc32:
        return nothingToConvert ? VREL_OK : inkOutputGroup(run);
    case Ink6:
    case Ink6Reversed:
        return nothingToConvert ? VREL_OK : multiInkOutputGroup(run, 6);
    case Ink7:
    case Ink7Reversed:
        return nothingToConvert ? VREL_OK : multiInkOutputGroup(run, 7);
    default:
        // Rgb555, Index8 and Mono1 serve only as inputs; 6, 8, 14, 17, 20
        // are no format; BlackPixel32 and everything above 21 are refused.
        return VREL_ERR_PARAM;
    }
}

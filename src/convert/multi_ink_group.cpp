// The output group of packed six- and seven-ink pixels.
#include "convert/bitmap_groups.h"
#include "convert/interpolating_kernels.h"
#include "convert/run_span.h"
#include "core/pixel_formats.h"

namespace vrel {

VrelResult multiInkOutputGroup(const BitmapRun& run, int inks) {
    if (run.inFormat >= kFormatCount) {
        return VREL_OK;
    }
    if (run.inFormat == Mono1) {
        // One-bit input would copy two prepared entries of six or seven
        // bytes each (convertMonoRun serves that size), but the only
        // prepared one-bit table a context can hold has four-byte entries
        // (and MethodSixColor / MethodSevenColor refuse ModeMono outright).
        // Reading it as six- or seven-byte entries would give wrong pixels,
        // so the run is refused and nothing is written.
        return VREL_ERR_PARAM;
    }
    if (!isDirectColourFormat(run.inFormat) && !isGreyInputFormat(run.inFormat)) {
        return VREL_OK;
    }
    const uint32_t step = effectiveSourceStep(run.sourceStep, run.inFormat);
    const uint32_t pixelBytes = kPixelFormats[run.outFormat].bytesPerPixel;
    const SourceRun source{pixelAt(run.source, run.skipStart, step), step,
                           convertedPixels(run.count, run.skipStart, run.skipEnd)};
    // Refused when group 0 lacks `inks` channels or the 12-byte cache: a
    // context of another method (see multiInkTables).
    const bool ran =
        convertToMultiInkPixels(run.context, inks, source, run.inFormat,
                                pixelAt(run.destination, run.skipStart, pixelBytes), run.outFormat);
    return ran ? VREL_OK : VREL_ERR_PARAM;
}

} // namespace vrel

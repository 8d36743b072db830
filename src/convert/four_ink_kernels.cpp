// The four-ink family: three-channel or grey input, four inks interpolated
// in group 0's four-channel table and remembered in its 8-byte cache,
// written as packed ink pixels, as ink planes, or folded into three channels;
// and the member that writes the pre-correction alone.
#include "convert/interpolating_kernels.h"
#include "convert/kernel_tables.h"
#include "convert/pixel_formats.h"

namespace vrel {

namespace {

ThreeChannelReader threeChannelReader(uint32_t inFormat) {
    const PixelFormatDescriptor& d = kPixelFormats[inFormat];
    return ThreeChannelReader{d.offset[0], d.offset[1], d.offset[2]};
}

// Runs the four-ink loop with the reader that inFormat asks for; the choice
// is made once, outside the pixel loop.
template <typename Writer>
bool runFourInk(EngineContext* context, const SourceRun& run, uint32_t inFormat, Writer& write) {
    InterpolationTables<CacheEntry8> tables;
    if (!fourInkTables(context, &tables)) {
        return false;
    }
    if (isGreyInputFormat(inFormat)) {
        interpolateRun<4>(tables, run.first, run.step, run.count, GreyReader{}, write);
    } else {
        interpolateRun<4>(tables, run.first, run.step, run.count, threeChannelReader(inFormat),
                          write);
    }
    releaseGroupZero(context);
    return true;
}

} // namespace

bool convertToFourInkPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
    PackedInkWriter<4> write{destination,
                             out.bytesPerPixel,
                             {out.offset[0], out.offset[1], out.offset[2], out.offset[3]}};
    return runFourInk(context, run, inFormat, write);
}

bool convertToFoldedRgbPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                              uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
    FoldedRgbWriter write{
        destination, out.bytesPerPixel, {out.offset[0], out.offset[1], out.offset[2]}};
    return runFourInk(context, run, inFormat, write);
}

bool convertToFourInkPlanes(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* const planes[4]) {
    PlaneWriter<4> write{{planes[0], planes[1], planes[2], planes[3]}};
    return runFourInk(context, run, inFormat, write);
}

void convertPreCorrectionOnly(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                              uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
    PackedInkWriter<3> write{
        destination, out.bytesPerPixel, {out.offset[0], out.offset[1], out.offset[2]}};
    preCorrectionRun(preCorrectionCurves(context), KeyLayout(context->kernelFlags), run.first,
                     run.step, run.count, threeChannelReader(inFormat), write);
}

} // namespace vrel

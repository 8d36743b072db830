// The four-ink family: three-channel or grey input, four inks interpolated
// in group 0's four-channel table and remembered in its 8-byte cache,
// written as packed ink pixels, as ink planes, or folded into three channels;
// and the member that writes the pre-correction alone.
//
// The members run the packed loop (packed_interpolation_run.h) with writers
// of packed values; a build with -DVREL_SCALAR_KERNELS runs the reference
// loop with its byte writers instead.
#include "convert/interpolating_kernels.h"
#include "convert/kernel_tables.h"
#include "convert/packed_interpolation_run.h"
#include "convert/pixel_formats.h"

#include <cstring>

namespace vrel {

namespace {

ThreeChannelReader threeChannelReader(uint32_t inFormat) {
    const PixelFormatDescriptor& d = kPixelFormats[inFormat];
    return ThreeChannelReader{d.offset[0], d.offset[1], d.offset[2]};
}

template <typename Reader, typename Writer>
void runLoop(const InterpolationTables<CacheEntry8>& tables, const SourceRun& run, Reader read,
             Writer& write) {
#ifdef VREL_SCALAR_KERNELS
    interpolateRun<4>(tables, run.first, run.step, run.count, read, write);
#else
    interpolateRunPacked<4>(tables, run.first, run.step, run.count, read, write);
#endif
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
        runLoop(tables, run, GreyReader{}, write);
    } else {
        runLoop(tables, run, threeChannelReader(inFormat), write);
    }
    releaseGroupZero(context);
    return true;
}

#ifndef VREL_SCALAR_KERNELS
bool hasOffsets(const PixelFormatDescriptor& d, uint8_t o0, uint8_t o1, uint8_t o2, uint8_t o3) {
    return d.offset[0] == o0 && d.offset[1] == o1 && d.offset[2] == o2 && d.offset[3] == o3;
}
#endif

} // namespace

bool convertToFourInkPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
#ifdef VREL_SCALAR_KERNELS
    PackedInkWriter<4> write{destination,
                             out.bytesPerPixel,
                             {out.offset[0], out.offset[1], out.offset[2], out.offset[3]}};
    return runFourInk(context, run, inFormat, write);
#else
    if (hasOffsets(out, 0, 1, 2, 3)) {
        InOrderValueWriter<4> write{destination, out.bytesPerPixel};
        return runFourInk(context, run, inFormat, write);
    }
    if (hasOffsets(out, 3, 2, 1, 0)) {
        ReversedFourValueWriter write{destination, out.bytesPerPixel};
        return runFourInk(context, run, inFormat, write);
    }
    PackedValueWriter<4> write{destination,
                               out.bytesPerPixel,
                               {out.offset[0], out.offset[1], out.offset[2], out.offset[3]}};
    return runFourInk(context, run, inFormat, write);
#endif
}

bool convertToFoldedRgbPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                              uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
#ifdef VREL_SCALAR_KERNELS
    FoldedRgbWriter write{
        destination, out.bytesPerPixel, {out.offset[0], out.offset[1], out.offset[2]}};
#else
    FoldedRgbValueWriter write{
        destination, out.bytesPerPixel, {out.offset[0], out.offset[1], out.offset[2]}};
#endif
    return runFourInk(context, run, inFormat, write);
}

bool convertToFourInkPlanes(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* const planes[4]) {
#ifdef VREL_SCALAR_KERNELS
    PlaneWriter<4> write{{planes[0], planes[1], planes[2], planes[3]}};
#else
    PlaneValueWriter<4> write{};
    std::memcpy(write.plane, planes, sizeof write.plane);
#endif
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

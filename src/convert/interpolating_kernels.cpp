// The interpolating conversion members: each checks that the context holds
// the table and cache it reads, describes how pixels are read and written,
// and runs the kernels of the process's level (kernel_set.h).
#include "convert/interpolating_kernels.h"

#include "convert/kernel_tables.h"
#include "core/pixel_formats.h"

#include <cstring>

namespace vrel {

namespace {

PixelReading readingOf(uint32_t inFormat) {
    const PixelFormatDescriptor& d = kPixelFormats[inFormat];
    return PixelReading{isGreyInputFormat(inFormat), {d.offset[0], d.offset[1], d.offset[2]}};
}

InkWriting pixelsOf(InkWriting::Kind kind, int inks, uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
    InkWriting w{kind, inks, destination, out.bytesPerPixel, {}, {}};
    std::memcpy(w.offset, out.offset, sizeof w.offset);
    return w;
}

InkWriting planesOf(int inks, uint8_t* const planes[]) {
    InkWriting w{InkWriting::Planes, inks, nullptr, 1, {}, {}};
    std::memcpy(w.planes, planes, sizeof w.planes[0] * static_cast<size_t>(inks));
    return w;
}

bool runFourInks(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                 const InkWriting& write) {
    InterpolationTables<CacheEntry8> tables;
    if (!fourInkTables(context, &tables)) {
        return false;
    }
    kernels().fourInks(tables, run, readingOf(inFormat), write);
    return true;
}

bool runMultiInks(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                  const InkWriting& write) {
    InterpolationTables<CacheEntry12> tables;
    int computeInks = 0;
    if (!multiInkTables(context, write.inks, &tables, &computeInks)) {
        return false;
    }
    kernels().multiInks(tables, computeInks, run, readingOf(inFormat), write);
    return true;
}

} // namespace

bool convertToFourInkPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* destination, uint32_t outFormat) {
    return runFourInks(context, run, inFormat,
                       pixelsOf(InkWriting::PackedPixels, 4, destination, outFormat));
}

bool convertToFoldedRgbPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                              uint8_t* destination, uint32_t outFormat) {
    return runFourInks(context, run, inFormat,
                       pixelsOf(InkWriting::FoldedRgb, 4, destination, outFormat));
}

bool convertToFourInkPlanes(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* const planes[4]) {
    return runFourInks(context, run, inFormat, planesOf(4, planes));
}

void convertPreCorrectionOnly(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                              uint8_t* destination, uint32_t outFormat) {
    kernels().preCorrectionOnly(preCorrectionCurves(context), KeyLayout(context->kernelFlags), run,
                                readingOf(inFormat),
                                pixelsOf(InkWriting::PackedPixels, 3, destination, outFormat));
}

bool convertToMultiInkPixels(EngineContext* context, int inks, const SourceRun& run,
                             uint32_t inFormat, uint8_t* destination, uint32_t outFormat) {
    return runMultiInks(context, run, inFormat,
                        pixelsOf(InkWriting::PackedPixels, inks, destination, outFormat));
}

bool convertToMultiInkPlanes(EngineContext* context, int inks, const SourceRun& run,
                             uint32_t inFormat, uint8_t* const planes[]) {
    return runMultiInks(context, run, inFormat, planesOf(inks, planes));
}

} // namespace vrel

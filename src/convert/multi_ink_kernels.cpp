// The six- and seven-ink family: three-channel or grey input, six or seven
// inks interpolated in group 0's table and remembered in its 12-byte cache,
// written as packed six- or seven-byte ink pixels or as ink planes.
#include "convert/interpolating_kernels.h"
#include "convert/kernel_tables.h"
#include "convert/pixel_formats.h"

#include <cstring>

namespace vrel {

namespace {

// Chooses the reader once, then runs the loop computing ComputeInks inks.
template <int ComputeInks, typename Writer>
void runMultiInk(const InterpolationTables<CacheEntry12>& tables, const SourceRun& run,
                 uint32_t inFormat, Writer& write) {
    if (isGreyInputFormat(inFormat)) {
        interpolateRun<ComputeInks>(tables, run.first, run.step, run.count, GreyReader{}, write);
    } else {
        const PixelFormatDescriptor& d = kPixelFormats[inFormat];
        interpolateRun<ComputeInks>(tables, run.first, run.step, run.count,
                                    ThreeChannelReader{d.offset[0], d.offset[1], d.offset[2]},
                                    write);
    }
}

// Writes Inks inks; computes seven when the context's table has seven.
template <int Inks, typename Writer>
bool runWriting(EngineContext* context, const SourceRun& run, uint32_t inFormat, Writer& write) {
    InterpolationTables<CacheEntry12> tables;
    int computeInks = 0;
    if (!multiInkTables(context, Inks, &tables, &computeInks)) {
        return false;
    }
    if constexpr (Inks == 6) {
        if (computeInks == 6) {
            runMultiInk<6>(tables, run, inFormat, write);
        } else {
            runMultiInk<7>(tables, run, inFormat, write);
        }
    } else {
        runMultiInk<7>(tables, run, inFormat, write);
    }
    releaseGroupZero(context);
    return true;
}

template <int Inks>
bool packedPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                  uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
    PackedInkWriter<Inks> write{destination, out.bytesPerPixel, {}};
    std::memcpy(write.offset, out.offset, Inks);
    return runWriting<Inks>(context, run, inFormat, write);
}

template <int Inks>
bool planes(EngineContext* context, const SourceRun& run, uint32_t inFormat,
            uint8_t* const planeStarts[]) {
    PlaneWriter<Inks> write{};
    for (int j = 0; j < Inks; ++j) {
        write.plane[j] = planeStarts[j];
    }
    return runWriting<Inks>(context, run, inFormat, write);
}

} // namespace

bool convertToMultiInkPixels(EngineContext* context, int inks, const SourceRun& run,
                             uint32_t inFormat, uint8_t* destination, uint32_t outFormat) {
    return inks == 6 ? packedPixels<6>(context, run, inFormat, destination, outFormat)
                     : packedPixels<7>(context, run, inFormat, destination, outFormat);
}

bool convertToMultiInkPlanes(EngineContext* context, int inks, const SourceRun& run,
                             uint32_t inFormat, uint8_t* const planeStarts[]) {
    return inks == 6 ? planes<6>(context, run, inFormat, planeStarts)
                     : planes<7>(context, run, inFormat, planeStarts);
}

} // namespace vrel

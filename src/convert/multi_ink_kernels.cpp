// The six- and seven-ink family: three-channel or grey input, six or seven
// inks interpolated in group 0's table and remembered in its 12-byte cache,
// written as packed six- or seven-byte ink pixels or as ink planes.
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

template <int ComputeInks, typename Reader, typename Writer>
void runLoop(const InterpolationTables<CacheEntry12>& tables, const SourceRun& run, Reader read,
             Writer& write) {
#ifdef VREL_SCALAR_KERNELS
    interpolateRun<ComputeInks>(tables, run.first, run.step, run.count, read, write);
#else
    interpolateRunPacked<ComputeInks>(tables, run.first, run.step, run.count, read, write);
#endif
}

// Chooses the reader once, then runs the loop computing ComputeInks inks.
template <int ComputeInks, typename Writer>
void runMultiInk(const InterpolationTables<CacheEntry12>& tables, const SourceRun& run,
                 uint32_t inFormat, Writer& write) {
    if (isGreyInputFormat(inFormat)) {
        runLoop<ComputeInks>(tables, run, GreyReader{}, write);
    } else {
        const PixelFormatDescriptor& d = kPixelFormats[inFormat];
        runLoop<ComputeInks>(tables, run, ThreeChannelReader{d.offset[0], d.offset[1], d.offset[2]},
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

#ifdef VREL_SCALAR_KERNELS
template <int Inks> using PixelWriter = PackedInkWriter<Inks>;
template <int Inks> using PlanesWriter = PlaneWriter<Inks>;
#else
template <int Inks> using PixelWriter = PackedValueWriter<Inks>;
template <int Inks> using PlanesWriter = PlaneValueWriter<Inks>;
#endif

template <int Inks>
bool packedPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                  uint8_t* destination, uint32_t outFormat) {
    const PixelFormatDescriptor& out = kPixelFormats[outFormat];
#ifndef VREL_SCALAR_KERNELS
    bool inOrder = true;
    for (int j = 0; j < Inks; ++j) {
        inOrder = inOrder && out.offset[j] == j;
    }
    if (inOrder) {
        InOrderValueWriter<Inks> write{destination, out.bytesPerPixel};
        return runWriting<Inks>(context, run, inFormat, write);
    }
#endif
    PixelWriter<Inks> write{destination, out.bytesPerPixel, {}};
    std::memcpy(write.offset, out.offset, Inks);
    return runWriting<Inks>(context, run, inFormat, write);
}

template <int Inks>
bool planes(EngineContext* context, const SourceRun& run, uint32_t inFormat,
            uint8_t* const planeStarts[]) {
    PlanesWriter<Inks> write{};
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

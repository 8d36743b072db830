// VrelLineColorConversion: one raster line into ink planes, by conversion
// method.
#include "convert/conversion.h"
#include "convert/interpolating_kernels.h"
#include "convert/prepared_table_kernels.h"
#include "convert/run_span.h"
#include "core/pixel_formats.h"

namespace {

using namespace vrel;

struct LineStretch {
    SourceRun source;
    uint8_t* planes[7]; // first converted byte of each plane the method writes
};

// The common preamble of the front ends; `planeCount` planes are read from
// the record, starting at plane `firstPlane`.
LineStretch stretchOf(const LineRecord& line, uint16_t count, int16_t skipStart, uint16_t skipEnd,
                      uint32_t sourceStep, int firstPlane, int planeCount) {
    LineStretch s{};
    const uint32_t step = effectiveSourceStep(sourceStep, line.format);
    s.source = SourceRun{pixelAt(static_cast<const uint8_t*>(line.source), skipStart, step), step,
                         convertedPixels(count, skipStart, skipEnd)};
    for (int p = firstPlane; p < firstPlane + planeCount; ++p) {
        s.planes[p] = pixelAt(static_cast<uint8_t*>(line.planes[p]), skipStart, 1);
    }
    return s;
}

bool interpolatedFormat(uint32_t format) {
    return isDirectColourFormat(format) || isGreyInputFormat(format);
}

} // namespace

VrelResult vrel::convertLine(const LineRecord* line, uint16_t count, int16_t skipStart,
                             uint16_t skipEnd, uint32_t sourceStep, EngineContext* context) {
    if (context == nullptr || line == nullptr) {
        return VREL_ERR_PARAM;
    }
    const int16_t method = context->conversionMethod;
    if (method != VrelMethodBlack && method != VrelMethodFourColor &&
        method != VrelMethodSixColor && method != VrelMethodSevenColor) {
        return VREL_ERR_PARAM;
    }
    // A line with no pixel to convert is done before any plane address is
    // worked out or any table is asked for.
    if (line->format >= kFormatCount || convertedPixels(count, skipStart, skipEnd) <= 0) {
        return VREL_OK;
    }
    if (method == VrelMethodBlack) {
        // Grey only, through the grey and black curves into plane 3.
        if (line->format == Gray8) {
            const LineStretch s = stretchOf(*line, count, skipStart, skipEnd, sourceStep, 3, 1);
            convertGreyCurveRun(context, s.source.first, s.source.step, s.source.count, s.planes[3],
                                1, false);
        }
        return VREL_OK;
    }
    if (!interpolatedFormat(line->format)) {
        return VREL_OK;
    }
    const int inks = method;
    const LineStretch s = stretchOf(*line, count, skipStart, skipEnd, sourceStep, 0, inks);
    // The interpolating planes need group 0's table with the cache of the
    // method's layout; a context without them (never one built by VrelInit
    // for these methods) is refused with nothing written.
    const bool ran = inks == VrelMethodFourColor
                         ? convertToFourInkPlanes(context, s.source, line->format, s.planes)
                         : convertToMultiInkPlanes(context, inks, s.source, line->format, s.planes);
    return ran ? VREL_OK : VREL_ERR_PARAM;
}

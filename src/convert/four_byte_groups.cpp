// The output groups of three-channel, black and four-ink pixels.
#include "convert/bitmap_groups.h"
#include "convert/interpolating_kernels.h"
#include "convert/prepared_table_kernels.h"
#include "convert/run_span.h"
#include "core/pixel_formats.h"
#include "resources/block_layer.h"

namespace vrel {

namespace {

inline constexpr uint32_t kRgb555TableEntries = 32768;
inline constexpr uint32_t kByteTableEntries = 256;
inline constexpr uint32_t kMonoTableEntries = 2;

int32_t convertedOf(const BitmapRun& run) {
    return convertedPixels(run.count, run.skipStart, run.skipEnd);
}

// The stretch as the interpolation and curve kernels see it: the first
// converted source pixel with the effective step, and the first converted
// destination pixel (output pixels are the output format's size apart).
SourceRun sourceOf(const BitmapRun& run) {
    const uint32_t step = effectiveSourceStep(run.sourceStep, run.inFormat);
    return SourceRun{pixelAt(run.source, run.skipStart, step), step, convertedOf(run)};
}
uint8_t* destinationOf(const BitmapRun& run) {
    return pixelAt(run.destination, run.skipStart, kPixelFormats[run.outFormat].bytesPerPixel);
}

VrelResult refusedUnless(bool ran) {
    return ran ? VREL_OK : VREL_ERR_PARAM;
}

// Byte- or word-indexed lookup writing four bytes per pixel from `first`.
VrelResult indexedLookup(const BitmapRun& run, EntryForm form, uint8_t* first) {
    const bool words = run.inFormat == Rgb555;
    const uint8_t* table =
        preparedEntries(run.context, words ? kRgb555TableEntries : kByteTableEntries);
    if (table == nullptr) {
        return VREL_ERR_PARAM;
    }
    const SourceRun source = sourceOf(run);
    if (words) {
        lookupRgb555Run(table, form, source.first, source.step, source.count, first);
    } else {
        lookupByteIndexRun(table, form, source.first, source.step, source.count, first);
    }
    return VREL_OK;
}

// The two-entry one-bit kernel writing four bytes per pixel from `first`.
VrelResult monoLookup(const BitmapRun& run, EntryForm form, uint8_t* first) {
    const uint8_t* table = preparedEntries(run.context, kMonoTableEntries);
    if (table == nullptr) {
        return VREL_ERR_PARAM;
    }
    uint8_t pixels[2][kPreparedEntrySize];
    for (int e = 0; e < 2; ++e) {
        const uint8_t* entry = table + e * kPreparedEntrySize;
        if (form == EntryForm::Whole) {
            for (uint32_t b = 0; b < kPreparedEntrySize; ++b) {
                pixels[e][b] = entry[b];
            }
        } else {
            pixels[e][0] = 0;
            pixels[e][1] = entry[0];
            pixels[e][2] = entry[1];
            pixels[e][3] = entry[2];
        }
    }
    convertMonoRun(run.source, run.skipStart, convertedOf(run), pixels[0], pixels[1],
                   kPreparedEntrySize, first, kPreparedEntrySize);
    return VREL_OK;
}

// Whole-entry kernels of the black and ink groups write pixel i at
// destination + 4 i, whatever the output format's own size.
uint8_t* wholeEntryDestination(const BitmapRun& run) {
    return pixelAt(run.destination, run.skipStart, kPreparedEntrySize);
}

// The path of a context whose parameter record forced three-channel output:
// direct colours get the pre-correction alone, the prepared-table inputs
// their entries as 0, e0, e1, e2. Pixel i is written at destination +
// skipStart * (output pixel size) + 4 (i - skipStart).
VrelResult directTablePath(const BitmapRun& run) {
    if (isDirectColourFormat(run.inFormat)) {
        convertPreCorrectionOnly(run.context, sourceOf(run), run.inFormat, destinationOf(run),
                                 run.outFormat);
        return VREL_OK;
    }
    switch (run.inFormat) {
    case Rgb555:
    case Index8:
    case Gray8:
        return indexedLookup(run, EntryForm::ZeroThenThree, destinationOf(run));
    case Mono1:
        return monoLookup(run, EntryForm::ZeroThenThree, destinationOf(run));
    default:
        return VREL_OK;
    }
}

// The ink group's Rgb555 kernel takes the table from its block: refused when
// the block is empty, else the block's address is kept in preparedAddress.
VrelResult rgb555WholeEntries(const BitmapRun& run) {
    if (preparedEntries(run.context, kRgb555TableEntries) == nullptr) {
        return VREL_ERR_PARAM;
    }
    void* table = run.context->preparedBlock.address;
    if (table == nullptr) {
        return VREL_ERR_PARAM;
    }
    run.context->preparedAddress = table;
    return indexedLookup(run, EntryForm::Whole, wholeEntryDestination(run));
}

} // namespace

VrelResult rgbOutputGroup(const BitmapRun& run) {
    if (run.inFormat >= kFormatCount) {
        return VREL_OK;
    }
    const EngineContext* context = run.context;
    if (context->initMagic == kInitMagic && context->settings.paramsCopy.methodOverride == 1) {
        return directTablePath(run);
    }
    if (isDirectColourFormat(run.inFormat) || isGreyInputFormat(run.inFormat)) {
        return refusedUnless(convertToFoldedRgbPixels(run.context, sourceOf(run), run.inFormat,
                                                      destinationOf(run), run.outFormat));
    }
    return VREL_OK;
}

VrelResult blackOutputGroup(const BitmapRun& run) {
    if (run.inFormat == Gray8) {
        if (run.outFormat == Black32) {
            return VREL_OK;
        }
        const SourceRun source = sourceOf(run);
        const PixelFormatDescriptor& out = kPixelFormats[run.outFormat];
        convertGreyCurveRun(run.context, source.first, source.step, source.count,
                            destinationOf(run) + out.offset[3], out.bytesPerPixel,
                            run.outFormat == Gray8);
        return VREL_OK;
    }
    if (run.inFormat == Mono1) {
        return monoLookup(run, EntryForm::Whole, wholeEntryDestination(run));
    }
    return VREL_OK;
}

VrelResult inkOutputGroup(const BitmapRun& run) {
    if (run.inFormat >= kFormatCount) {
        return VREL_OK;
    }
    if (isDirectColourFormat(run.inFormat) || isGreyInputFormat(run.inFormat)) {
        return refusedUnless(convertToFourInkPixels(run.context, sourceOf(run), run.inFormat,
                                                    destinationOf(run), run.outFormat));
    }
    switch (run.inFormat) {
    case Rgb555:
        return rgb555WholeEntries(run);
    case Index8:
        return indexedLookup(run, EntryForm::Whole, wholeEntryDestination(run));
    case Mono1:
        return monoLookup(run, EntryForm::Whole, wholeEntryDestination(run));
    default:
        return VREL_OK;
    }
}

} // namespace vrel

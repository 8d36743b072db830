#include "convert/prepared_table_kernels.h"

#include <cstring>

namespace vrel {

namespace {

uint32_t entriesHeld(uint32_t conversionMode) {
    switch (conversionMode) {
    case VrelModeRgb555:
        return 32768;
    case VrelModePalette:
    case VrelModeGray:
        return 256;
    default:
        return 2;
    }
}

struct WholeEntry {
    void operator()(const uint8_t* entry, uint8_t* out) const { std::memcpy(out, entry, 4); }
};
struct ZeroThenThree {
    void operator()(const uint8_t* entry, uint8_t* out) const {
        out[0] = 0;
        out[1] = entry[0];
        out[2] = entry[1];
        out[3] = entry[2];
    }
};

struct ByteIndex {
    uint32_t operator()(const uint8_t* pixel) const { return pixel[0]; }
};
struct Rgb555Index {
    uint32_t operator()(const uint8_t* pixel) const {
        return (pixel[0] | static_cast<uint32_t>(pixel[1]) << 8) & 0x7fffu;
    }
};

template <typename Index, typename Form>
void lookupRun(const uint8_t* table, const uint8_t* source, uint32_t step, int32_t n,
               uint8_t* destination) {
    const Index index;
    const Form write;
    for (int32_t i = 0; i < n; ++i, source += step, destination += kPreparedEntrySize) {
        write(table + kPreparedEntrySize * index(source), destination);
    }
}

template <typename Index>
void lookupIn(const uint8_t* table, EntryForm form, const uint8_t* source, uint32_t step, int32_t n,
              uint8_t* destination) {
    if (form == EntryForm::Whole) {
        lookupRun<Index, WholeEntry>(table, source, step, n, destination);
    } else {
        lookupRun<Index, ZeroThenThree>(table, source, step, n, destination);
    }
}

template <uint32_t PixelBytes>
void monoRun(const uint8_t* row, int32_t firstPixel, int32_t n, const uint8_t* clear,
             const uint8_t* set, uint8_t* destination, uint32_t destinationStep) {
    uint8_t pixel[2][PixelBytes];
    std::memcpy(pixel[0], clear, PixelBytes);
    std::memcpy(pixel[1], set, PixelBytes);
    auto put = [&](uint32_t bit) {
        std::memcpy(destination, pixel[bit & 1], PixelBytes);
        destination += destinationStep;
    };
    int32_t remaining = n;
    if (remaining <= 0) {
        return;
    }
    const uint8_t* byte = row + (firstPixel >> 3);
    int bit = 7 - (firstPixel & 7);
    if (bit != 7) {
        // The bits of the first byte from the first converted pixel on.
        const uint32_t bits = *byte++;
        for (; bit >= 0 && remaining > 0; --bit, --remaining) {
            put(bits >> bit);
        }
    }
    for (; remaining >= 8; remaining -= 8) {
        const uint32_t bits = *byte++;
        for (int b = 7; b >= 0; --b) {
            put(bits >> b);
        }
    }
    if (remaining > 0) {
        // The leading bits of the last byte.
        const uint32_t bits = *byte;
        for (int b = 7; remaining > 0; --b, --remaining) {
            put(bits >> b);
        }
    }
}

} // namespace

const uint8_t* preparedEntries(const EngineContext* context, uint32_t entriesNeeded) {
    if (context->preparedAddress == nullptr ||
        entriesHeld(context->conversionMode) < entriesNeeded) {
        return nullptr;
    }
    return static_cast<const uint8_t*>(context->preparedAddress);
}

void lookupByteIndexRun(const uint8_t* table, EntryForm form, const uint8_t* source, uint32_t step,
                        int32_t n, uint8_t* destination) {
    lookupIn<ByteIndex>(table, form, source, step, n, destination);
}

void lookupRgb555Run(const uint8_t* table, EntryForm form, const uint8_t* source, uint32_t step,
                     int32_t n, uint8_t* destination) {
    lookupIn<Rgb555Index>(table, form, source, step, n, destination);
}

void convertMonoRun(const uint8_t* row, int32_t firstPixel, int32_t n, const uint8_t* clear,
                    const uint8_t* set, uint32_t pixelBytes, uint8_t* destination,
                    uint32_t destinationStep) {
    switch (pixelBytes) {
    case 4:
        monoRun<4>(row, firstPixel, n, clear, set, destination, destinationStep);
        break;
    case 6:
        monoRun<6>(row, firstPixel, n, clear, set, destination, destinationStep);
        break;
    case 7:
        monoRun<7>(row, firstPixel, n, clear, set, destination, destinationStep);
        break;
    default:
        break;
    }
}

void convertGreyCurveRun(const EngineContext* context, const uint8_t* source, uint32_t step,
                         int32_t n, uint8_t* destination, uint32_t destinationStep, bool inverted) {
    const uint8_t* const grey = context->greyCurve;
    const uint8_t* const black = context->adjustCurves[3];
    const uint8_t flip = inverted ? 255 : 0;
    for (int32_t i = 0; i < n; ++i, source += step, destination += destinationStep) {
        *destination = static_cast<uint8_t>(black[grey[*source]] ^ flip);
    }
}

} // namespace vrel

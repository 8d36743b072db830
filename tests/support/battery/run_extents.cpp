// Buffer extents of one run, by export and format pairing.
#include "run_extents.h"

namespace vrel::test {

namespace {

// Bytes per pixel, codes 0..22 (0 where a code has no pixel size).
constexpr uint8_t kBytesPerPixel[23] = {3, 4, 4, 3, 2, 4, 0, 1, 0, 1, 0, 1,
                                        4, 4, 0, 4, 6, 0, 6, 7, 0, 7, 4};

bool isDirectColour(uint32_t f) {
    return f <= 3 || f == 5;
}
bool isGrey(uint32_t f) {
    return f == 9 || f == 22;
}
bool isRgbOutput(uint32_t f) {
    return f <= 3 || f == 5;
}

// What the kernel of a pairing writes per pixel.
enum class Writes {
    Nothing,
    OutputPixels, // bytes per pixel of the output format, at i times that
    WholeEntries, // four bytes at 4 i
    DirectTable,  // skipStart output pixels, then four bytes per pixel
};

Writes bitmapWrites(uint32_t in, uint32_t out, bool directPath) {
    if (isRgbOutput(out)) {
        if (directPath) {
            if (isDirectColour(in)) {
                return Writes::OutputPixels;
            }
            return in == 4 || in == 7 || in == 9 || in == 10 ? Writes::DirectTable
                                                             : Writes::Nothing;
        }
        return isDirectColour(in) || isGrey(in) ? Writes::OutputPixels : Writes::Nothing;
    }
    if (out == 9 || out == 11 || out == 12) {
        if (in == 9) {
            return out == 12 ? Writes::Nothing : Writes::OutputPixels;
        }
        return in == 10 ? Writes::WholeEntries : Writes::Nothing;
    }
    if (out == 13 || out == 15) {
        if (isDirectColour(in) || isGrey(in)) {
            return Writes::OutputPixels;
        }
        return in == 4 || in == 7 || in == 10 ? Writes::WholeEntries : Writes::Nothing;
    }
    if (out == 16 || out == 18 || out == 19 || out == 21) {
        return isDirectColour(in) || isGrey(in) || in == 10 ? Writes::OutputPixels
                                                            : Writes::Nothing;
    }
    return Writes::Nothing; // refused output format
}

// The line lengths the exports take: the bitmap conversion reads the whole
// 32-bit count, the line conversion and the correction a 16-bit one.
size_t wholeCount(const RunShape& run) {
    return run.count;
}
size_t shortCount(const RunShape& run) {
    return run.count & 0xffffu;
}

// Bytes of `pixels` source pixels of format `in` with the run's step.
size_t sourceExtent(uint32_t in, const RunShape& run, size_t pixels) {
    if (pixels == 0) {
        return 0;
    }
    if (in == 10) {
        return (pixels + 7) / 8; // one bit per pixel, the step plays no part
    }
    const size_t step = run.sourceStep != 0 ? run.sourceStep : bytesPerPixel(in);
    return (pixels - 1) * step + bytesPerPixel(in);
}

} // namespace

uint32_t bytesPerPixel(uint32_t format) {
    return format < 23 ? kBytesPerPixel[format] : 0;
}

size_t bitmapSourceBytes(uint32_t in, uint32_t out, const RunShape& run, bool directPath) {
    if (bitmapWrites(in, out, directPath) == Writes::Nothing) {
        return 0;
    }
    return sourceExtent(in, run, wholeCount(run));
}

size_t bitmapDestinationBytes(uint32_t in, uint32_t out, const RunShape& run, bool directPath) {
    const size_t pixels = wholeCount(run);
    switch (bitmapWrites(in, out, directPath)) {
    case Writes::OutputPixels:
        return pixels * bytesPerPixel(out);
    case Writes::WholeEntries:
        return pixels * 4;
    case Writes::DirectTable: {
        // Pixels before skipStart at the output size, the rest four bytes each.
        const size_t skip = run.skipStart < 0 ? 0 : static_cast<size_t>(run.skipStart);
        const size_t before = skip < pixels ? skip : pixels;
        return before * bytesPerPixel(out) + (pixels - before) * 4;
    }
    case Writes::Nothing:
        break;
    }
    return 0;
}

int planesWritten(int method) {
    switch (method) {
    case 1:
        return 4; // plane 3 only; planes 0-2 stay null
    case 4:
        return 4;
    case 6:
        return 6;
    case 7:
        return 7;
    default:
        return 0;
    }
}

static bool lineHandles(int method, uint32_t format) {
    if (method == 1) {
        return format == 9;
    }
    if (method == 4 || method == 6 || method == 7) {
        return isDirectColour(format) || isGrey(format);
    }
    return false;
}

size_t lineSourceBytes(int method, uint32_t format, const RunShape& run) {
    return lineHandles(method, format) ? sourceExtent(format, run, shortCount(run)) : 0;
}

size_t linePlaneBytes(int method, uint32_t format, const RunShape& run) {
    return lineHandles(method, format) ? shortCount(run) : 0;
}

size_t correctionBytes(uint32_t format, const RunShape& run) {
    const bool corrected = format <= 5 || format == 9 || format == 11 || format == 12 ||
                           format == 13 || format == 15 || format == 16 || format == 18 ||
                           format == 19 || format == 21 || format == 22;
    return corrected ? shortCount(run) * bytesPerPixel(format) : 0;
}

size_t onDotPlaneBytes(int16_t count) {
    return count < 0 ? 0 : (static_cast<size_t>(count) + 7) / 8;
}

} // namespace vrel::test

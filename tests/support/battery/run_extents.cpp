// Buffer extents of one run, by export and format pairing.
#include "run_extents.h"

namespace vrel::hardening {

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

size_t sourceExtent(uint32_t in, const RunShape& run) {
    const size_t last = static_cast<size_t>(lastPixel(run));
    if (in == 10) {
        return last / 8 + 1; // one bit per pixel, the step plays no part
    }
    const size_t step = run.sourceStep != 0 ? run.sourceStep : bytesPerPixel(in);
    return last * step + bytesPerPixel(in);
}

} // namespace

uint32_t bytesPerPixel(uint32_t format) {
    return format < 23 ? kBytesPerPixel[format] : 0;
}

int processedPixels(const RunShape& run) {
    if (run.skipStart < 0) {
        return 0; // a run may not start before its first pixel
    }
    const int difference = static_cast<int>(run.count & 0xffffu) - run.skipStart - run.skipEnd;
    return static_cast<int16_t>(static_cast<uint16_t>(difference & 0xffff));
}

int lastPixel(const RunShape& run) {
    return run.skipStart + processedPixels(run) - 1;
}

size_t bitmapSourceBytes(uint32_t in, uint32_t out, const RunShape& run, bool directPath) {
    if (processedPixels(run) <= 0 || bitmapWrites(in, out, directPath) == Writes::Nothing) {
        return 0;
    }
    return sourceExtent(in, run);
}

size_t bitmapDestinationBytes(uint32_t in, uint32_t out, const RunShape& run, bool directPath) {
    if (processedPixels(run) <= 0) {
        return 0;
    }
    const size_t last = static_cast<size_t>(lastPixel(run));
    const size_t skip = static_cast<size_t>(run.skipStart);
    switch (bitmapWrites(in, out, directPath)) {
    case Writes::OutputPixels:
        return (last + 1) * bytesPerPixel(out);
    case Writes::WholeEntries:
        return (last + 1) * 4;
    case Writes::DirectTable:
        return skip * bytesPerPixel(out) + (last + 1 - skip) * 4;
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
    if (processedPixels(run) <= 0 || !lineHandles(method, format)) {
        return 0;
    }
    return sourceExtent(format, run);
}

size_t linePlaneBytes(int method, uint32_t format, const RunShape& run) {
    if (processedPixels(run) <= 0 || !lineHandles(method, format)) {
        return 0;
    }
    return static_cast<size_t>(lastPixel(run)) + 1;
}

size_t correctionBytes(uint32_t format, const RunShape& run) {
    const bool corrected = format <= 5 || format == 9 || format == 11 || format == 12 ||
                           format == 13 || format == 15 || format == 16 || format == 18 ||
                           format == 19 || format == 21 || format == 22;
    if (!corrected || run.skipStart < 0 || processedPixels(run) <= 0) {
        return 0;
    }
    return (static_cast<size_t>(lastPixel(run)) + 1) * bytesPerPixel(format);
}

size_t onDotPlaneBytes(int16_t count) {
    return count < 0 ? 0 : (static_cast<size_t>(count) + 7) / 8;
}

} // namespace vrel::hardening

// VrelPixelColorConversion: one packed colour through the bitmap conversion.
#include "convert/conversion.h"
#include "core/engine_context.h"
#include "core/pixel_formats.h"

namespace {

using namespace vrel;

// Formats each conversion method accepts.
bool accepted(int16_t method, uint32_t format) {
    switch (method) {
    case VrelMethodBlack:
        return format == BlackPixel32;
    case VrelMethodThreeChannel:
        return format == Xbgr32 || format == Xrgb32;
    case VrelMethodFourColor:
        return format == Cmyk32 || format == Kymc32;
    default:
        return false;
    }
}

// The value's bytes from the most significant down: for Xbgr32 and Xrgb32
// this is the pixel in memory order (the top byte lands in the spare byte,
// which the conversion does not read; it is cleared).
void unpackSpareFirst(uint32_t value, uint8_t pixel[4]) {
    pixel[0] = 0;
    pixel[1] = static_cast<uint8_t>(value >> 16);
    pixel[2] = static_cast<uint8_t>(value >> 8);
    pixel[3] = static_cast<uint8_t>(value);
}

uint32_t packBigEndian(const uint8_t p[4]) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

uint32_t packLittleEndian(const uint8_t p[4]) {
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[1]) << 8 | p[0];
}

} // namespace

VrelResult vrel::convertPixel(uint32_t /*reserved*/, uint32_t format, uint32_t value,
                              uint32_t* result, EngineContext* context) {
    if (context == nullptr || result == nullptr || !accepted(context->conversionMethod, format)) {
        return VREL_ERR_PARAM;
    }
    uint8_t pixel[4] = {};
    uint8_t converted[4] = {};
    // The conversion's own result is not consulted: a run that writes
    // nothing yields the value packed from the buffer as it stands.
    switch (format) {
    case Xbgr32:
    case Xrgb32:
        unpackSpareFirst(value, pixel);
        vrel::convertBitmap(format, format, pixel, pixel, 1, 0, 0, 0, context);
        pixel[0] = 0;
        *result = packBigEndian(pixel);
        break;
    case Cmyk32:
        // Input as Xrgb32; the Kymc32 result read little-endian puts cyan in
        // the top byte and black in the bottom one.
        unpackSpareFirst(value, pixel);
        vrel::convertBitmap(Xrgb32, Kymc32, pixel, converted, 1, 0, 0, 0, context);
        *result = packLittleEndian(converted);
        break;
    case Kymc32:
        // Input as Xbgr32; the Kymc32 result read big-endian puts black in
        // the top byte and cyan in the bottom one.
        unpackSpareFirst(value, pixel);
        vrel::convertBitmap(Xbgr32, Kymc32, pixel, converted, 1, 0, 0, 0, context);
        *result = packBigEndian(converted);
        break;
    default: // BlackPixel32: the grey in bits 24-31
        pixel[0] = static_cast<uint8_t>(value >> 24);
        vrel::convertBitmap(Gray8, Gray8, pixel, converted, 1, 0, 0, 0, context);
        *result = static_cast<uint32_t>(converted[0]) << 24;
        break;
    }
    return VREL_OK;
}

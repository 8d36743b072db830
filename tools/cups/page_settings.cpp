#include "page_settings.h"

#include <cmath>
#include <cstdint>

namespace vrel::cups {

namespace {

// The widest page line the filter takes (about 27 metres at 600 dpi); it
// bounds the line buffers whatever a header claims.
constexpr unsigned kMaxWidth = 1u << 20;

// A real header value as the engine's signed 16-bit word, rounded.
int16_t signedValue(float value) {
    if (!(value > -32768.0f)) // also NaN
        return -32768;
    if (value > 32767.0f)
        return 32767;
    return static_cast<int16_t>(std::lround(value));
}

} // namespace

PageSettings settingsFromHeader(const cups_page_header2_t& header) {
    PageSettings s;
    const unsigned* v = header.cupsInteger;
    ParamRecord& p = s.params;
    p.profileNumber = static_cast<uint16_t>(v[0]);
    p.keyField14 = static_cast<uint16_t>(v[1]);
    p.keyField16 = static_cast<uint16_t>(v[2]);
    p.keyField94 = static_cast<uint16_t>(v[3]);
    p.keyField104 = static_cast<uint16_t>(v[4]);
    p.keyField106 = static_cast<uint16_t>(v[5]);
    p.keyField108 = static_cast<uint16_t>(v[6]);
    p.adjustSwitch = static_cast<uint16_t>(v[7]);
    p.tableSelector = static_cast<uint16_t>(v[8]);
    p.density = signedValue(header.cupsReal[0]);
    for (int k = 0; k < 4; ++k)
        p.balance[k] = signedValue(header.cupsReal[1 + k]);
    s.colourOrder = v[14];
    s.blackFirst = (v[15] & 1u) != 0;
    s.bilevel = (v[15] & 2u) != 0;
    return s;
}

unsigned inputChannels(const cups_page_header2_t& header) {
    return header.cupsColorSpace == CUPS_CSPACE_RGB || header.cupsColorSpace == CUPS_CSPACE_SRGB
               ? 3u
               : 1u;
}

std::string checkInputHeader(const cups_page_header2_t& header) {
    switch (header.cupsColorSpace) {
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_SRGB:
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_SW:
    case CUPS_CSPACE_K:
        break;
    default:
        return "unsupported colour space " + std::to_string(header.cupsColorSpace) +
               " (the filter reads RGB, sRGB, grey and black)";
    }
    if (header.cupsBitsPerColor != 8)
        return "unsupported bit depth " + std::to_string(header.cupsBitsPerColor) +
               " (the filter reads 8 bits per colour)";
    const unsigned channels = inputChannels(header);
    if (channels > 1 && header.cupsColorOrder != CUPS_ORDER_CHUNKED)
        return "unsupported colour order " + std::to_string(header.cupsColorOrder) +
               " (the filter reads chunked pixels)";
    if (header.cupsWidth == 0 || header.cupsHeight == 0 || header.cupsWidth > kMaxWidth ||
        header.cupsBitsPerPixel != 8 * channels ||
        header.cupsBytesPerLine != header.cupsWidth * channels)
        return "impossible page size: " + std::to_string(header.cupsWidth) + " x " +
               std::to_string(header.cupsHeight) + " pixels, " +
               std::to_string(header.cupsBitsPerPixel) + " bits per pixel, " +
               std::to_string(header.cupsBytesPerLine) + " bytes per line";
    return {};
}

} // namespace vrel::cups

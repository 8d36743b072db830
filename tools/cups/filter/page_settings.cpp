#include "page_settings.h"

#include "common/page_slots.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fmt/format.h>

namespace vrel::cups {

namespace {

// The widest page line the filter takes (about 27 metres at 600 dpi); it
// bounds the line buffers whatever a header claims.
constexpr unsigned kMaxWidth = 1u << 20;

// An enumerated header field as the word it is in the stream: a value
// outside the enumeration is never loaded as the enumeration's type.
template <class Enum> unsigned wordOf(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(unsigned));
    unsigned word;
    std::memcpy(&word, &field, sizeof word);
    return word;
}

// A real header value as the engine's signed 16-bit word, rounded.
int16_t signedValue(float value) {
    if (!(value > -32768.0f)) // also NaN
        return -32768;
    if (value > 32767.0f)
        return 32767;
    return static_cast<int16_t>(std::lround(value));
}

PageSettings settingsFromHeader(const cups_page_header2_t& header) {
    PageSettings s;
    namespace slots = vrel::tools::slots;
    const auto word = [&header](int slot) {
        return static_cast<uint16_t>(header.cupsInteger[slot]);
    };
    ParamRecord& p = s.params;
    p.profileNumber = word(slots::kProfileNumber);
    p.keyField14 = word(slots::kKeyField14);
    p.keyField16 = word(slots::kKeyField16);
    p.keyField94 = word(slots::kKeyField94);
    p.keyField104 = word(slots::kKeyField104);
    p.keyField106 = word(slots::kKeyField106);
    p.keyField108 = word(slots::kKeyField108);
    p.adjustSwitch = word(slots::kAdjustSwitch);
    p.tableSelector = word(slots::kTableSelector);
    p.density = signedValue(header.cupsReal[slots::kDensity]);
    for (int k = 0; k < 4; ++k)
        p.balance[k] = signedValue(header.cupsReal[slots::kFirstBalance + k]);
    s.colourOrder = header.cupsInteger[slots::kColourOrder];
    const unsigned format = header.cupsInteger[slots::kRasterFormat];
    s.blackFirst = (format & 1u) != 0;
    s.bilevel = (format & 2u) != 0;
    return s;
}

// Input channels of a colour space the filter reads, 0 for any other.
unsigned channelsOf(unsigned space) {
    switch (space) {
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_SRGB:
        return 3;
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_SW:
    case CUPS_CSPACE_K:
        return 1;
    default:
        return 0;
    }
}

} // namespace

std::string readPageHeader(const cups_page_header2_t& header, PageHeader* page) {
    const unsigned space = wordOf(header.cupsColorSpace);
    const unsigned order = wordOf(header.cupsColorOrder);
    const unsigned channels = channelsOf(space);
    if (channels == 0)
        return fmt::format("unsupported colour space {} (the filter reads RGB, sRGB, grey and "
                           "black)",
                           space);
    if (header.cupsBitsPerColor != 8)
        return fmt::format("unsupported bit depth {} (the filter reads 8 bits per colour)",
                           header.cupsBitsPerColor);
    // One colour is the same line in any order; more must come chunked.
    if (order > CUPS_ORDER_PLANAR || (channels > 1 && order != CUPS_ORDER_CHUNKED))
        return fmt::format("unsupported colour order {} (the filter reads chunked pixels)", order);
    if (header.cupsWidth == 0 || header.cupsHeight == 0 || header.cupsWidth > kMaxWidth ||
        header.cupsBitsPerPixel != 8 * channels || header.cupsNumColors != channels ||
        header.cupsBytesPerLine != header.cupsWidth * channels)
        return fmt::format("impossible page size: {} x {} pixels, {} bits per pixel, {} colours, "
                           "{} bytes per line",
                           header.cupsWidth, header.cupsHeight, header.cupsBitsPerPixel,
                           header.cupsNumColors, header.cupsBytesPerLine);
    const PageSettings settings = settingsFromHeader(header);
    if (settings.colourOrder > CUPS_ORDER_PLANAR)
        return fmt::format("unknown output colour order {}", settings.colourOrder);
    page->width = header.cupsWidth;
    page->height = header.cupsHeight;
    page->bytesPerLine = header.cupsBytesPerLine;
    page->channels = channels;
    page->blackInput = space == CUPS_CSPACE_K;
    page->copies = header.NumCopies >= 1 && header.NumCopies <= kMaxCopies ? header.NumCopies : 1;
    page->settings = settings;
    return {};
}

} // namespace vrel::cups

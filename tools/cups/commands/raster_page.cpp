#include "raster_page.h"

#include <cstring>
#include <fmt/format.h>

namespace vrel::cli {

namespace {

// An enumerated header field as the number the file holds, which may be
// none of the enumeration's values (loading it as the enumeration would
// then be undefined).
template <typename Field> unsigned numberOf(const Field& field) {
    static_assert(sizeof(Field) == sizeof(unsigned));
    unsigned value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

// The colours of the ink colour spaces; none (empty) for any other space.
std::vector<std::string> namesOf(unsigned space) {
    if (space == CUPS_CSPACE_K)
        return {"black"};
    if (space == CUPS_CSPACE_CMYK)
        return {"cyan", "magenta", "yellow", "black"};
    if (space == CUPS_CSPACE_KCMY)
        return {"black", "cyan", "magenta", "yellow"};
    if (space < CUPS_CSPACE_DEVICE1 || space > CUPS_CSPACE_DEVICEF)
        return {};
    std::vector<std::string> names;
    for (unsigned i = 0; i <= space - CUPS_CSPACE_DEVICE1; ++i)
        names.push_back(fmt::format("colour{}", i));
    return names;
}

} // namespace

std::string checkInkPage(const cups_page_header2_t& h, InkPage* page) {
    InkPage p;
    const unsigned space = numberOf(h.cupsColorSpace), order = numberOf(h.cupsColorOrder);
    p.names = namesOf(space);
    if (p.names.empty())
        return fmt::format("colour space {} is not an ink colour space (K, CMYK, KCMY or DeviceN)",
                           space);
    p.colours = static_cast<unsigned>(p.names.size());
    if (h.cupsNumColors != p.colours)
        return fmt::format("cupsNumColors {} disagrees with colour space {}, which has {} colour{}",
                           h.cupsNumColors, space, p.colours, p.colours == 1 ? "" : "s");
    if (h.cupsBitsPerColor != 1 && h.cupsBitsPerColor != 8)
        return fmt::format("{} bits per colour (ink raster has 1 or 8)", h.cupsBitsPerColor);
    p.bits = h.cupsBitsPerColor;
    if (order > CUPS_ORDER_PLANAR)
        return fmt::format("unknown colour order {}", order);
    p.order = static_cast<cups_order_t>(order);
    const unsigned pixelBits = p.order == CUPS_ORDER_CHUNKED ? p.bits * p.colours : p.bits;
    if (h.cupsBitsPerPixel != pixelBits)
        return fmt::format("cupsBitsPerPixel {} disagrees with {} colours of {} bits in this order "
                           "({})",
                           h.cupsBitsPerPixel, p.colours, p.bits, pixelBits);
    if (h.cupsWidth == 0 || h.cupsHeight == 0)
        return fmt::format("the page has no pixels ({} x {})", h.cupsWidth, h.cupsHeight);
    if (h.cupsWidth > kMaxRasterWidth || h.cupsHeight > kMaxRasterHeight)
        return fmt::format("the page of {} x {} pixels is larger than {} x {}", h.cupsWidth,
                           h.cupsHeight, kMaxRasterWidth, kMaxRasterHeight);
    p.width = h.cupsWidth;
    p.height = h.cupsHeight;
    const uint64_t colourLine = p.bits == 1 ? (uint64_t{p.width} + 7) / 8 : p.width;
    const uint64_t line = p.order == CUPS_ORDER_CHUNKED  ? (uint64_t{p.width} * pixelBits + 7) / 8
                          : p.order == CUPS_ORDER_BANDED ? colourLine * p.colours
                                                         : colourLine;
    if (h.cupsBytesPerLine != line)
        return fmt::format("cupsBytesPerLine {} disagrees with {} pixels of {} bits ({})",
                           h.cupsBytesPerLine, p.width, pixelBits, line);
    p.bytesPerLine = h.cupsBytesPerLine;
    *page = std::move(p);
    return {};
}

void InkPage::greyRow(const uint8_t* line, unsigned colour, uint8_t* grey) const {
    // Sample number (in units of `bits`) of the colour's first pixel, and
    // the step from one pixel to the next.
    const std::size_t colourLine = bits == 1 ? (std::size_t{width} + 7) / 8 : width;
    const std::size_t first = order == CUPS_ORDER_CHUNKED  ? colour
                              : order == CUPS_ORDER_BANDED ? colour * colourLine * (8 / bits)
                                                           : 0;
    const std::size_t step = order == CUPS_ORDER_CHUNKED ? colours : 1;
    for (std::size_t x = 0, s = first; x < width; ++x, s += step) {
        const unsigned ink = bits == 8 ? line[s] : ((line[s / 8] >> (7 - s % 8)) & 1) * 255;
        grey[x] = static_cast<uint8_t>(255 - ink);
    }
}

} // namespace vrel::cli

// The pages that `vrel raster` takes: ink raster as the CUPS filter
// rastertovrel writes it. Every field of the page header that the planes
// depend on is checked against the others before any of them is used.
#pragma once

#include <cstdint>
#include <cups/raster.h>
#include <string>
#include <vector>

namespace vrel::cli {

// Widths and heights above these are refused (the raster format's own
// limit of 2^24 - 1 rows; a million pixels a line).
constexpr unsigned kMaxRasterWidth = 1'000'000;
constexpr unsigned kMaxRasterHeight = 0x00ffffff;

struct InkPage {
    unsigned width = 0, height = 0;
    unsigned colours = 0, bits = 0;
    cups_order_t order = CUPS_ORDER_CHUNKED;
    unsigned bytesPerLine = 0;
    std::vector<std::string> names; // of each colour, for the file names

    // Lines in the page's data: one per row, or one per row and colour
    // when planar.
    uint64_t lines() const { return uint64_t{height} * (order == CUPS_ORDER_PLANAR ? colours : 1); }
    // Colour `colour` of one line as 8-bit grey, black where the ink is full.
    void greyRow(const uint8_t* line, unsigned colour, uint8_t* grey) const;
};

// Empty when the header describes an ink raster page (K, CMYK, KCMY or
// DeviceN with 1 to 15 colours; 1 or 8 bits per colour; chunked, banded or
// planar), with `page` filled in; otherwise why not, naming the fields.
std::string checkInkPage(const cups_page_header2_t& header, InkPage* page);

} // namespace vrel::cli

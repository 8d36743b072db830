// The ink raster the filter writes: colour space, number of colours, bits per
// colour and colour order follow the profile's method and the page's output
// settings, with the header fields as the CUPS raster format defines them.
//   black only     K, one colour
//   four inks      CMYK, or KCMY with black first
//   six inks       DeviceN with 6 colours: C M Y K ink4 ink5, or K C M Y ink4 ink5
//   seven inks     DeviceN with 7 colours, likewise with ink6 last
// KCMYcm is not used: the raster format defines it with six colours only at
// one bit per colour and as KCMY beyond. Bilevel output (one bit per colour,
// dots made by on-dot black) is for the black-only and four-ink methods.
#pragma once

#include "page_settings.h"

#include <array>
#include <cstdint>
#include <cups/raster.h>
#include <string>

namespace vrel::cups {

struct InkLayout {
    cups_cspace_t space = CUPS_CSPACE_K;
    unsigned colours = 1;
    unsigned bits = 8;
    cups_order_t order = CUPS_ORDER_CHUNKED;
    std::array<int, 7> ink{};     // engine ink (plane number) of output colour i
    unsigned colourLineBytes = 0; // one colour of one line: width or (width + 7) / 8
    unsigned bytesPerLine = 0;    // cupsBytesPerLine
};

// Chooses the layout for a context of the given conversion method. Empty on
// success, otherwise why the page cannot be written.
std::string chooseLayout(int method, const PageSettings& settings, unsigned width,
                         InkLayout* layout);

// Sets the header fields that describe the ink raster.
void applyLayout(const InkLayout& layout, cups_page_header2_t* header);

// Writes one output line (bytesPerLine bytes) of a chunked or banded layout
// from the engine's planes: one byte per pixel and ink, or for bilevel
// layouts one bit per pixel, most significant bit first.
void packLine(const InkLayout& layout, const std::array<uint8_t*, 7>& planes, unsigned width,
              uint8_t* out);

} // namespace vrel::cups

// What one CUPS raster page asks of the filter. The PPD's options put their
// values into the page header (cupsInteger0-15 through setpagedevice), so
// every page carries its own settings:
//   cupsInteger0      profile number
//   cupsInteger1-6    key fields 14, 16, 94, 104, 106, 108 (ink set, media, quality)
//   cupsInteger7, 8   adjustment switch and table selector (colour adjustment)
//   cupsInteger14     output colour order: 0 chunked, 1 banded, 2 planar
//   cupsInteger15     output form: bit 0 black first (KCMY), bit 1 bilevel planes
//   cupsReal0         density (-50..50)
//   cupsReal1-4       cyan, magenta, yellow and black balance (-50..50)
#pragma once

#include <cups/raster.h>
#include <string>
#include <vrel/vrel.h>

namespace vrel::cups {

struct PageSettings {
    ParamRecord params{}; // profile keys and adjustments; database filled in by the caller
    unsigned colourOrder = CUPS_ORDER_CHUNKED;
    bool blackFirst = false;
    bool bilevel = false;
};

PageSettings settingsFromHeader(const cups_page_header2_t& header);

// The input pages the filter reads: 8-bit chunked RGB, sRGB, grey (W, sGray)
// or black (K), with consistent sizes. Empty when the header is one of them,
// otherwise the reason it is not.
std::string checkInputHeader(const cups_page_header2_t& header);

// Bytes per input pixel: 3 for RGB and sRGB, 1 for the one-colour spaces.
unsigned inputChannels(const cups_page_header2_t& header);

} // namespace vrel::cups

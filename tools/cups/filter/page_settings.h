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
//
// A header comes from a stranger's job: its enumerated fields may hold any
// 32-bit value, so they are read as plain unsigned words (never loaded as the
// enumeration), and every field is checked against the others before any of
// them is used. The rest of the filter works from the checked PageHeader.
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

// The checked geometry and settings of one input page.
struct PageHeader {
    unsigned width = 0, height = 0;
    unsigned bytesPerLine = 0; // width x channels
    unsigned channels = 1;     // 3 for RGB and sRGB, 1 for grey and black
    bool blackInput = false;   // K: a sample is an amount of black, not a grey level
    unsigned copies = 1;       // NumCopies within 1..kMaxCopies, otherwise 1
    PageSettings settings;
};

// The most copies a page header may ask for (the scheduler's default
// MaxCopies); a header asking for none or more is taken as one copy.
constexpr unsigned kMaxCopies = 9999;

// Checks the header: the input pages the filter reads are 8-bit chunked RGB,
// sRGB, grey (W, sGray) or black (K) with consistent sizes, and an output
// colour order the filter writes. Empty when the header is good, with *page
// filled in; otherwise the reason it is not.
std::string readPageHeader(const cups_page_header2_t& header, PageHeader* page);

} // namespace vrel::cups

// Where the print settings travel in a CUPS raster page header: `vrel ppd`
// writes PostScript code that sets these cupsInteger and cupsReal slots,
// and rastertovrel reads the settings back from the same slots.
#pragma once

#include <fmt/format.h>
#include <string>

namespace vrel::tools::slots {

// cupsInteger slots.
inline constexpr int kProfileNumber = 0;
inline constexpr int kKeyField14 = 1;
inline constexpr int kKeyField16 = 2;
inline constexpr int kKeyField94 = 3;
inline constexpr int kKeyField104 = 4;
inline constexpr int kKeyField106 = 5;
inline constexpr int kKeyField108 = 6;
inline constexpr int kAdjustSwitch = 7;
inline constexpr int kTableSelector = 8;
inline constexpr int kColourOrder = 14;  // 0 chunked, 1 banded, 2 planar
inline constexpr int kRasterFormat = 15; // bit 0 black first, bit 1 one bit per ink

// cupsReal slots: the density, then the four balance values (cyan, magenta,
// yellow, black) from kFirstBalance on.
inline constexpr int kDensity = 0;
inline constexpr int kFirstBalance = 1;

// The slot's name in the page header ("cupsInteger3", "cupsReal0").
inline std::string integerSlot(int slot) {
    return fmt::format("cupsInteger{}", slot);
}
inline std::string realSlot(int slot) {
    return fmt::format("cupsReal{}", slot);
}

} // namespace vrel::tools::slots

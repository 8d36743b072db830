#include "core/pixel_formats.h"

namespace vrel {

#define NONE {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, 0xff
const PixelFormatDescriptor kPixelFormats[kFormatCount] = {
    {{2, 1, 0, 0, 0, 0, 0}, 3},                          // 0 Bgr24
    {{2, 1, 0, 0, 0, 0, 0}, 4},                          // 1 Bgrx32
    {{3, 2, 1, 0, 0, 0, 0}, 4},                          // 2 Xbgr32
    {{0, 1, 2, 0, 0, 0, 0}, 3},                          // 3 Rgb24
    {{0, 0, 0, 0xff, 0xff, 0xff, 0xff}, 2},              // 4 Rgb555
    {{1, 2, 3, 0, 0, 0, 0}, 4},                          // 5 Xrgb32
    {NONE},                                              // 6
    {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, 1},     // 7 Index8
    {NONE},                                              // 8
    {{0, 0, 0, 0, 0, 0, 0}, 1},                          // 9 Gray8
    {NONE},                                              // 10 Mono1 (bits)
    {{0, 0, 0, 0, 0, 0, 0}, 1},                          // 11 Black8
    {{0, 0, 0, 3, 0, 0, 0}, 4},                          // 12 Black32
    {{0, 1, 2, 3, 0, 0, 0}, 4},                          // 13 Cmyk32
    {NONE},                                              // 14
    {{3, 2, 1, 0, 0, 0, 0}, 4},                          // 15 Kymc32
    {{0, 1, 2, 3, 4, 5, 0}, 6},                          // 16 Ink6
    {NONE},                                              // 17
    {{3, 2, 1, 0, 5, 4, 0}, 6},                          // 18 Ink6Reversed
    {{0, 1, 2, 3, 4, 5, 6}, 7},                          // 19 Ink7
    {NONE},                                              // 20
    {{3, 2, 1, 0, 6, 5, 4}, 7},                          // 21 Ink7Reversed
    {{0, 0, 0, 3, 0, 0, 0}, 4},                          // 22 BlackPixel32
};
#undef NONE

} // namespace vrel

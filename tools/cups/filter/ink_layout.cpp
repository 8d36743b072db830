#include "ink_layout.h"

#include <cstring>
#include <fmt/format.h>

namespace vrel::cups {

namespace {

// One pixel after the other, its N colours side by side.
template <unsigned N>
void interleave(const InkLayout& layout, const std::array<uint8_t*, 7>& planes, unsigned width,
                uint8_t* out) {
    const uint8_t* source[N];
    for (unsigned i = 0; i < N; ++i)
        source[i] = planes[static_cast<std::size_t>(layout.ink[i])];
    for (unsigned x = 0; x < width; ++x, out += N)
        for (unsigned i = 0; i < N; ++i)
            out[i] = source[i][x];
}

} // namespace

std::string chooseLayout(int method, const PageSettings& settings, unsigned width,
                         InkLayout* layout) {
    InkLayout l;
    if (settings.colourOrder > CUPS_ORDER_PLANAR)
        return fmt::format("unknown output colour order {}", settings.colourOrder);
    l.order = static_cast<cups_order_t>(settings.colourOrder);
    l.bits = settings.bilevel ? 1 : 8;
    switch (method) {
    case VrelMethodBlack:
        l.space = CUPS_CSPACE_K;
        l.colours = 1;
        l.ink[0] = 3;
        break;
    case VrelMethodFourColor:
        l.space = settings.blackFirst ? CUPS_CSPACE_KCMY : CUPS_CSPACE_CMYK;
        l.colours = 4;
        break;
    case VrelMethodSixColor:
        l.space = CUPS_CSPACE_DEVICE6;
        l.colours = 6;
        break;
    case VrelMethodSevenColor:
        l.space = CUPS_CSPACE_DEVICE7;
        l.colours = 7;
        break;
    default:
        return fmt::format(
            "the profile's method {} gives no inks (a three-channel profile corrects RGB)", method);
    }
    if (l.colours > 1) {
        // Engine inks 0-3 are cyan, magenta, yellow, black; 4-6 the further inks.
        for (unsigned i = 0; i < l.colours; ++i)
            l.ink[i] = static_cast<int>(i);
        if (settings.blackFirst)
            l.ink[0] = 3, l.ink[1] = 0, l.ink[2] = 1, l.ink[3] = 2;
    }
    if (settings.bilevel && l.colours > 4)
        return fmt::format("bilevel output takes a four-ink or black-only profile, not {} inks",
                           l.colours);
    l.colourLineBytes = settings.bilevel ? (width + 7) / 8 : width;
    if (l.order == CUPS_ORDER_CHUNKED)
        l.bytesPerLine = (width * l.colours * l.bits + 7) / 8;
    else if (l.order == CUPS_ORDER_BANDED)
        l.bytesPerLine = l.colourLineBytes * l.colours;
    else
        l.bytesPerLine = l.colourLineBytes;
    *layout = l;
    return {};
}

void applyLayout(const InkLayout& layout, cups_page_header2_t* header) {
    header->cupsColorSpace = layout.space;
    header->cupsNumColors = layout.colours;
    header->cupsBitsPerColor = layout.bits;
    header->cupsBitsPerPixel =
        layout.order == CUPS_ORDER_CHUNKED ? layout.bits * layout.colours : layout.bits;
    header->cupsBytesPerLine = layout.bytesPerLine;
    header->cupsColorOrder = layout.order;
}

void packLine(const InkLayout& layout, const std::array<uint8_t*, 7>& planes, unsigned width,
              uint8_t* out) {
    const unsigned n = layout.colours;
    if (layout.order == CUPS_ORDER_BANDED) {
        for (unsigned i = 0; i < n; ++i)
            for (unsigned b = 0; b < layout.colourLineBytes; ++b)
                out[i * layout.colourLineBytes + b] = planes[layout.ink[i]][b];
        return;
    }
    if (layout.bits == 8) {
        switch (n) {
        case 1:
            std::memcpy(out, planes[static_cast<std::size_t>(layout.ink[0])], width);
            return;
        case 4:
            interleave<4>(layout, planes, width, out);
            return;
        case 6:
            interleave<6>(layout, planes, width, out);
            return;
        default:
            interleave<7>(layout, planes, width, out);
            return;
        }
    }
    if (n == 1) {
        for (unsigned b = 0; b < layout.colourLineBytes; ++b)
            out[b] = planes[layout.ink[0]][b];
        return;
    }
    // Four colours at one bit: two pixels per byte, colour 0 in the highest
    // bit of each nibble.
    for (unsigned x = 0; x < width; ++x) {
        unsigned nibble = 0;
        for (unsigned i = 0; i < 4; ++i)
            nibble = nibble << 1 | ((planes[layout.ink[i]][x / 8] >> (7 - x % 8)) & 1u);
        if (x % 2 == 0)
            out[x / 2] = static_cast<uint8_t>(nibble << 4);
        else
            out[x / 2] = static_cast<uint8_t>(out[x / 2] | nibble);
    }
}

} // namespace vrel::cups

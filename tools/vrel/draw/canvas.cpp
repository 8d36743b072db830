#include "canvas.h"

#include "bitmap_font.h"

#include <algorithm>
#include <cstdlib>

namespace vrel::cli {

Canvas::Canvas(int width, int height, Rgb background) : image_(width, height, 3) {
    fillRect(0, 0, width, height, background);
}

void Canvas::setPixel(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= image_.width || y >= image_.height)
        return;
    uint8_t* p = image_.row(y) + static_cast<std::size_t>(x) * 3;
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
}

void Canvas::fillRect(int x, int y, int w, int h, Rgb colour) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, image_.width), y1 = std::min(y + h, image_.height);
    for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx)
            setPixel(xx, yy, colour);
}

void Canvas::frameRect(int x, int y, int w, int h, Rgb colour) {
    fillRect(x, y, w, 1, colour);
    fillRect(x, y + h - 1, w, 1, colour);
    fillRect(x, y, 1, h, colour);
    fillRect(x + w - 1, y, 1, h, colour);
}

void Canvas::line(int x0, int y0, int x1, int y1, Rgb colour, int thickness) {
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    const int before = (thickness - 1) / 2;
    for (;;) {
        fillRect(x0 - before, y0 - before, thickness, thickness, colour);
        if (x0 == x1 && y0 == y1)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

int Canvas::text(int x, int y, const std::string& s, Rgb colour, int scale) {
    int cx = x;
    for (char c : s) {
        const uint8_t* rows = glyphRows(c);
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if (rows[row] & (0x10 >> col))
                    fillRect(cx + col * scale, y + row * scale, scale, scale, colour);
        cx += kGlyphAdvance * scale;
    }
    return cx - x;
}

int Canvas::textWidth(const std::string& s, int scale) {
    return static_cast<int>(s.size()) * kGlyphAdvance * scale;
}

} // namespace vrel::cli

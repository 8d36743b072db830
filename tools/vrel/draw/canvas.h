// Plain pixel drawing into an RGB image: rectangles, lines and text in the
// built-in bitmap font. Everything is clipped to the image.
#pragma once

#include "image/image.h"

#include <cstdint>
#include <string>

namespace vrel::cli {

struct Rgb {
    uint8_t r, g, b;
};

class Canvas {
  public:
    Canvas(int width, int height, Rgb background);

    Image& image() { return image_; }
    int width() const { return image_.width; }
    int height() const { return image_.height; }

    void setPixel(int x, int y, Rgb colour);
    void fillRect(int x, int y, int w, int h, Rgb colour);
    void frameRect(int x, int y, int w, int h, Rgb colour);
    // A line of the given thickness (Bresenham, thickened as a square pen).
    void line(int x0, int y0, int x1, int y1, Rgb colour, int thickness = 1);
    // Text with its top-left corner at (x, y); each font pixel becomes
    // scale x scale image pixels. Returns the width drawn.
    int text(int x, int y, const std::string& s, Rgb colour, int scale = 1);
    static int textWidth(const std::string& s, int scale = 1);

  private:
    Image image_;
};

} // namespace vrel::cli

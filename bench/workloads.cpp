#include "workloads.h"

#include <cmath>
#include <map>
#include <memory>

namespace vrel::bench {

namespace {

// splitmix64: the same numbers on every platform.
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

void put(Page& page, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = page.pixels.data() + (static_cast<size_t>(y) * page.width + x) * 3;
    p[0] = r;
    p[1] = g;
    p[2] = b;
}

void fillRect(Page& page, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    for (int y = y0; y < y1 && y < page.height; ++y) {
        for (int x = x0; x < x1 && x < page.width; ++x) {
            put(page, x, y, r, g, b);
        }
    }
}

void makeFlat(Page& page) {
    fillRect(page, 0, 0, page.width, page.height, 255, 255, 255);
    const int w = page.width, h = page.height;
    // Graphics: a header bar, a chart of three bars, a tinted panel.
    fillRect(page, 0, 0, w, h / 12, 0, 70, 140);
    fillRect(page, w / 16, h / 6, w / 16 + w / 10, h / 2, 220, 40, 30);
    fillRect(page, w / 16 + w / 8, h / 4, w / 16 + w / 8 + w / 10, h / 2, 250, 200, 20);
    fillRect(page, w / 16 + w / 4, h / 3, w / 16 + w / 4 + w / 10, h / 2, 40, 160, 70);
    fillRect(page, w / 2, h / 6, w - w / 16, h / 2, 235, 235, 245);
    // Text: lines of 9-pixel glyph cells with pseudo-random strokes, in
    // black and in a dark blue, below the graphics.
    Random random{42};
    for (int line = 0, y0 = h * 9 / 16; y0 + 14 < h; ++line, y0 += 16) {
        const bool blue = line % 5 == 4;
        for (int x0 = w / 16; x0 + 9 < w - w / 16; x0 += 9) {
            const uint64_t bits = random.next();
            if ((bits & 15) == 0) {
                continue; // a space between words
            }
            for (int gy = 0; gy < 12; ++gy) {
                for (int gx = 0; gx < 7; ++gx) {
                    // Vertical and horizontal strokes: a glyph-like pattern.
                    const bool stroke = ((bits >> (8 + gx)) & 1) && ((bits >> (20 + gy)) & 1);
                    if (stroke || gx == static_cast<int>((bits >> 40) % 7)) {
                        put(page, x0 + gx, y0 + gy, blue ? 20 : 0, blue ? 30 : 0, blue ? 110 : 0);
                    }
                }
            }
        }
    }
}

void makePhoto(Page& page) {
    Random random{7};
    const double w = page.width, h = page.height;
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) {
            const double u = x / w, v = y / h;
            // Three soft fields, one per channel, with a bright and a dark spot.
            double r = 128 + 90 * std::sin(6.1 * u + 1.3 * v) + 30 * std::cos(9.0 * v);
            double g = 120 + 80 * std::sin(4.3 * v - 2.2 * u + 0.5) + 25 * std::sin(13.0 * u * v);
            double b = 110 + 95 * std::cos(3.7 * u + 5.1 * v);
            const double spot = std::exp(-((u - 0.3) * (u - 0.3) + (v - 0.6) * (v - 0.6)) * 30);
            r += 60 * spot, g += 60 * spot, b += 40 * spot;
            const uint64_t noise = random.next();
            auto channel = [](double value, uint64_t bits) {
                const double n = static_cast<double>(bits % 7) - 3.0; // -3..3
                return static_cast<uint8_t>(
                    std::lround(std::fmin(255.0, std::fmax(0.0, value + n))));
            };
            put(page, x, y, channel(r, noise), channel(g, noise >> 8), channel(b, noise >> 16));
        }
    }
}

void makeRandom(Page& page) {
    Random random{1234};
    for (size_t i = 0; i < page.pixels.size(); i += 8) {
        uint64_t bits = random.next();
        for (size_t j = i; j < i + 8 && j < page.pixels.size(); ++j, bits >>= 8) {
            page.pixels[j] = static_cast<uint8_t>(bits);
        }
    }
}

} // namespace

const char* workloadName(Workload w) {
    switch (w) {
    case Workload::Flat:
        return "flat";
    case Workload::Photo:
        return "photo";
    case Workload::Random:
        return "random";
    }
    return "?";
}

Page makeRgbPage(Workload w, int width, int height) {
    Page page;
    page.width = width;
    page.height = height;
    page.bytesPerPixel = 3;
    page.pixels.assign(page.pixelCount() * 3, 0);
    switch (w) {
    case Workload::Flat:
        makeFlat(page);
        break;
    case Workload::Photo:
        makePhoto(page);
        break;
    case Workload::Random:
        makeRandom(page);
        break;
    }
    return page;
}

Page toXrgb(const Page& rgb) {
    Page page;
    page.width = rgb.width;
    page.height = rgb.height;
    page.bytesPerPixel = 4;
    page.pixels.assign(rgb.pixelCount() * 4, 0);
    for (size_t i = 0; i < rgb.pixelCount(); ++i) {
        page.pixels[4 * i + 1] = rgb.pixels[3 * i];
        page.pixels[4 * i + 2] = rgb.pixels[3 * i + 1];
        page.pixels[4 * i + 3] = rgb.pixels[3 * i + 2];
    }
    return page;
}

const Page& rgbPage(Workload w) {
    static std::map<Workload, std::unique_ptr<Page>> pages;
    auto& slot = pages[w];
    if (!slot) {
        slot = std::make_unique<Page>(makeRgbPage(w, kPageWidth, kPageHeight));
    }
    return *slot;
}

const Page& xrgbPage(Workload w) {
    static std::map<Workload, std::unique_ptr<Page>> pages;
    auto& slot = pages[w];
    if (!slot) {
        slot = std::make_unique<Page>(toXrgb(rgbPage(w)));
    }
    return *slot;
}

size_t distinctColours(const Page& rgb) {
    std::vector<bool> seen(1u << 24, false);
    size_t count = 0;
    for (size_t i = 0; i < rgb.pixelCount(); ++i) {
        const uint32_t c = static_cast<uint32_t>(rgb.pixels[3 * i]) << 16 |
                           static_cast<uint32_t>(rgb.pixels[3 * i + 1]) << 8 |
                           rgb.pixels[3 * i + 2];
        if (!seen[c]) {
            seen[c] = true;
            ++count;
        }
    }
    return count;
}

} // namespace vrel::bench

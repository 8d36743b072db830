#include "chart.h"

#include "canvas.h"
#include "cli_error.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <string>

namespace vrel::cli {

namespace {

uint8_t toByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v * 255.0), 0L, 255L));
}

// Fully saturated colour of a hue in [0, 1).
void hueColour(double hue, double rgb[3]) {
    const double h = hue * 6.0;
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double table[6][3] = {{1, f, 0},     {1 - f, 1, 0}, {0, 1, f},
                                {0, 1 - f, 1}, {f, 0, 1},     {1, 0, 1 - f}};
    for (int i = 0; i < 3; ++i)
        rgb[i] = table[sector][i];
}

// Hue across, white at the top through the full colour to black at the bottom.
void hueSweep(Canvas& canvas, int x, int y, int w, int h) {
    for (int yy = 0; yy < h; ++yy) {
        const double t = h > 1 ? static_cast<double>(yy) / (h - 1) : 0.0;
        for (int xx = 0; xx < w; ++xx) {
            double rgb[3];
            hueColour(static_cast<double>(xx) / w, rgb);
            Rgb c{};
            uint8_t* out[3] = {&c.r, &c.g, &c.b};
            for (int i = 0; i < 3; ++i) {
                const double v =
                    t < 0.5 ? 1.0 - (1.0 - rgb[i]) * (t * 2.0) : rgb[i] * (2.0 - t * 2.0);
                *out[i] = toByte(v);
            }
            canvas.setPixel(x + xx, y + yy, c);
        }
    }
}

void ramp(Canvas& canvas, int x, int y, int w, int h, Rgb from, Rgb to) {
    for (int xx = 0; xx < w; ++xx) {
        const double t = w > 1 ? static_cast<double>(xx) / (w - 1) : 0.0;
        const Rgb c{toByte((from.r + (to.r - from.r) * t) / 255.0),
                    toByte((from.g + (to.g - from.g) * t) / 255.0),
                    toByte((from.b + (to.b - from.b) * t) / 255.0)};
        canvas.fillRect(x + xx, y, 1, h, c);
    }
}

Rgb labelColourOn(Rgb patch) {
    const int luma = (77 * patch.r + 151 * patch.g + 28 * patch.b) >> 8;
    return luma > 110 ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
}

void patchRow(Canvas& canvas, int x, int y, int w, int h, const Rgb* colours,
              const char* const* names, int count) {
    const int pw = w / count;
    for (int i = 0; i < count; ++i) {
        canvas.fillRect(x + i * pw, y, pw - 4, h, colours[i]);
        canvas.text(x + i * pw + 4, y + h - 12, names[i], labelColourOn(colours[i]));
    }
}

// Stepped grey ramp: 0 % to 100 % ink coverage in 21 steps of 5 %.
void greySteps(Canvas& canvas, int x, int y, int w, int h) {
    const int steps = 21;
    for (int i = 0; i < steps; ++i) {
        const int x0 = x + w * i / steps, x1 = x + w * (i + 1) / steps;
        const uint8_t v = toByte(1.0 - static_cast<double>(i) / (steps - 1));
        const Rgb c{v, v, v};
        canvas.fillRect(x0, y, x1 - x0, h, c);
        if (i % 2 == 0)
            canvas.text(x0 + 2, y + 2, fmt::format("{}", i * 5), labelColourOn(c));
    }
}

// Colour ramps: primaries from black, secondaries from white. Returns the
// height they take.
int colourRamps(Canvas& canvas, int x, int y, int w, int gap, int rampH) {
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    const int half = w / 2 - gap / 2;
    const Rgb primaries[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const Rgb secondaries[3] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
    const int thin = std::max(6, rampH / 2);
    for (int i = 0; i < 3; ++i) {
        ramp(canvas, x, y + i * thin, half, thin, black, primaries[i]);
        ramp(canvas, x + w - half, y + i * thin, half, thin, white, secondaries[i]);
    }
    return 3 * thin;
}

void colourPatches(Canvas& canvas, int x, int y, int w, int h) {
    const Rgb patches[8] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255}, {0, 255, 255},
                            {255, 0, 255}, {255, 255, 0}, {0, 0, 0},   {255, 255, 255}};
    const char* const patchNames[8] = {"RED",     "GREEN",  "BLUE",  "CYAN",
                                       "MAGENTA", "YELLOW", "BLACK", "WHITE"};
    patchRow(canvas, x, y, w, h, patches, patchNames, 8);
    canvas.frameRect(x + 7 * (w / 8), y, w / 8 - 4, h, Rgb{128, 128, 128});
}

void skinPatches(Canvas& canvas, int x, int y, int w, int h) {
    const Rgb skin[8] = {{255, 224, 196}, {241, 194, 167}, {224, 172, 138}, {234, 192, 134},
                         {198, 134, 103}, {161, 102, 77},  {112, 70, 52},   {86, 54, 40}};
    const char* const skinNames[8] = {"SKIN 1", "SKIN 2", "SKIN 3", "SKIN 4",
                                      "SKIN 5", "SKIN 6", "SKIN 7", "SKIN 8"};
    patchRow(canvas, x, y, w, h, skin, skinNames, 8);
}

// Fine detail: line pairs of 1, 2 and 3 pixels and small text.
void fineDetail(Canvas& canvas, int x, int y, int h, int gap) {
    const Rgb black{0, 0, 0};
    for (int pitch = 1; pitch <= 3; ++pitch) {
        for (int i = 0; i < 12; ++i)
            canvas.fillRect(x + 2 * i * pitch, y, pitch, h / 2, black);
        x += 24 * pitch + gap;
    }
    const std::string fine = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 (5 X 7)";
    canvas.text(x, y, fine, black);
    canvas.text(x, y + 10, "FINE TEXT: 1 PIXEL STROKES, PAPER WHITE AROUND", Rgb{0, 0, 160});
    canvas.text(x, y + 20, "GREY 50% TEXT ON WHITE", Rgb{128, 128, 128});
}

} // namespace

Image makeChart(int width, int height) {
    if (width < kChartMinWidth || height < kChartMinHeight || width > 20000 || height > 20000)
        throw CliError(fmt::format("chart size must be between {} x {} and 20000 x 20000",
                                   kChartMinWidth, kChartMinHeight));
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    Canvas canvas(width, height, white);
    const int margin = width / 40;
    const int inner = width - 2 * margin;
    const int titleScale = std::max(2, width / 400);
    int y = margin;
    canvas.text(margin, y, "VREL TEST CHART", black, titleScale);
    y += 10 * titleScale;

    // Vertical budget: the sections share what the title leaves.
    const int avail = height - y - margin;
    const int sweepH = avail * 26 / 100, rampH = avail * 7 / 100, patchH = avail * 12 / 100;
    const int gap = std::max(4, avail / 60);

    hueSweep(canvas, margin, y, inner, sweepH);
    y += sweepH + gap;
    ramp(canvas, margin, y, inner, rampH, black, white);
    y += rampH + gap / 2;
    greySteps(canvas, margin, y, inner, rampH);
    y += rampH + gap;
    y += colourRamps(canvas, margin, y, inner, gap, rampH) + gap;
    colourPatches(canvas, margin, y, inner, patchH);
    y += patchH + gap;
    skinPatches(canvas, margin, y, inner, patchH);
    y += patchH + gap;
    fineDetail(canvas, margin, y, std::max(0, height - margin - y), gap);
    return std::move(canvas.image());
}

} // namespace vrel::cli

// The neutral-axis plot and the total-ink map of "vrel plot --kind".
#include "ink_plots.h"

#include "canvas.h"
#include "image/image_write.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace vrel::cli {

namespace {

const Rgb kText{30, 30, 30}, kGridLine{225, 225, 225}, kFrame{120, 120, 120};
const Rgb kTotal{120, 20, 50}, kMark{200, 0, 0};

std::string upper(std::string s) {
    for (auto& ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// Curve colours: the inks' hues at full strength (light inks are told apart
// by dashes), or red, green and blue for the three-channel output.
Rgb curveColour(int method, std::size_t channel) {
    static const Rgb inks[7] = {{0, 160, 220}, {220, 0, 140}, {220, 190, 0}, {0, 0, 0},
                                {0, 160, 220}, {220, 0, 140}, {0, 0, 0}};
    static const Rgb rgb[3] = {{210, 40, 40}, {40, 160, 60}, {40, 80, 220}};
    if (method == VrelMethodThreeChannel)
        return rgb[channel % 3];
    return method == VrelMethodBlack ? inks[3] : inks[channel % 7];
}

// The percent at the top of a scale that holds `largest`: 100, or the next
// multiple of 50 above.
int scaleTop(int largest) {
    return std::max(100, (largest + 49) / 50 * 50);
}

int tickStep(int top) {
    return top <= 100 ? 10 : top <= 200 ? 25 : top <= 400 ? 50 : 100;
}

// The plot frame of the neutral axis: grey level across, percent up.
struct AxisFrame {
    int x, y, w, h, top;
    int px(int grey) const { return x + grey * (w - 1) / 255; }
    int py(double percent) const {
        return y + h - 1 - static_cast<int>(std::lround(percent * (h - 1) / top));
    }
};

void drawAxes(Canvas& c, const AxisFrame& f, const std::string& unit) {
    for (int p = 0; p <= f.top; p += tickStep(f.top)) {
        c.fillRect(f.x, f.py(p), f.w, 1, kGridLine);
        const std::string label = fmt::format("{} %", p);
        c.text(f.x - 6 - Canvas::textWidth(label), f.py(p) - 3, label, kText);
    }
    for (int g : {0, 32, 64, 96, 128, 160, 192, 224, 255}) {
        c.fillRect(f.px(g), f.y, 1, f.h, kGridLine);
        const std::string label = fmt::format("{}", g);
        c.text(f.px(g) - Canvas::textWidth(label) / 2, f.y + f.h + 6, label, kText);
    }
    c.frameRect(f.x - 1, f.y - 1, f.w + 2, f.h + 2, kFrame);
    c.text(f.x, f.y - 16, unit, kText);
    c.text(f.x, f.y + f.h + 22, "GREY LEVEL R = G = B (0 = BLACK, 255 = WHITE)", kText, 2);
}

// A curve through one value per grey level, in percent.
template <typename Value>
void drawCurve(Canvas& c, const AxisFrame& f, Value value, Rgb colour, int thickness) {
    for (int g = 0; g < 255; ++g)
        c.line(f.px(g), f.py(value(g)), f.px(g + 1), f.py(value(g + 1)), colour, thickness);
}

// The channels' curves, segment by segment; which channel is drawn last,
// on top, turns every six grey levels, so that curves that lie on each
// other (cyan, magenta and yellow often do on the grey ramp) show as one
// line striped in their colours. Light inks are dashed.
void drawChannelCurves(Canvas& c, const AxisFrame& f, const NeutralAxis& axis) {
    const std::size_t count = axis.names.size();
    const auto y = [&](int g, std::size_t i) {
        return f.py(axis.levels[static_cast<std::size_t>(g)][i] * 100.0 / 255);
    };
    for (int g = 0; g < 255; ++g)
        for (std::size_t r = 1; r <= count; ++r) {
            const std::size_t i = (static_cast<std::size_t>(g / 6) + r) % count;
            const bool light = axis.method != VrelMethodThreeChannel && i >= 4;
            if (!light || (g / 6) % 2 == 0)
                c.line(f.px(g), y(g, i), f.px(g + 1), y(g + 1, i), curveColour(axis.method, i), 2);
        }
}

// The channels whose curve is the same as channel i's, i among them.
std::vector<std::size_t> sameCurves(const NeutralAxis& axis, std::size_t i) {
    std::vector<std::size_t> same;
    for (std::size_t j = 0; j < axis.names.size(); ++j)
        if (std::all_of(axis.levels.begin(), axis.levels.end(),
                        [&](const std::vector<uint8_t>& l) { return l[i] == l[j]; }))
            same.push_back(j);
    return same;
}

void legendEntry(Canvas& c, int x, int y, const std::string& text, Rgb colour, int thickness,
                 bool dashed) {
    for (int s = 0; s < 24; s += dashed ? 8 : 24)
        c.fillRect(x + s, y + 3 - thickness / 2, dashed ? 5 : 24, thickness, colour);
    c.text(x + 32, y, text, kText);
}

// White through yellow, orange and red to purple as the share of the
// scale rises from 0 to 1.
Rgb heat(double share) {
    static const Rgb stops[] = {
        {255, 255, 255}, {255, 236, 150}, {250, 160, 60}, {210, 50, 50}, {80, 0, 90}};
    const double at = std::clamp(share, 0.0, 1.0) * 4;
    const int i = std::min(3, static_cast<int>(at));
    const double t = at - i;
    const auto mix = [t](uint8_t a, uint8_t b) {
        return static_cast<uint8_t>(std::lround(a + (b - a) * t));
    };
    return {mix(stops[i].r, stops[i + 1].r), mix(stops[i].g, stops[i + 1].g),
            mix(stops[i].b, stops[i + 1].b)};
}

struct MapLayout {
    int x, y, columns, cell, gap;
    int mapSize(int n) const { return cell * n; }
    int mapX(int k, int n) const { return x + (k % columns) * (mapSize(n) + gap); }
    int mapY(int k, int n) const { return y + (k / columns) * (mapSize(n) + 32); }
};

void drawBlueMap(Canvas& c, const MapLayout& l, const TableTotals& t,
                 const inspect::TableView& table, int blue, int top) {
    const int n = t.gridPoints, mx = l.mapX(blue, n), my = l.mapY(blue, n) + 12;
    c.text(mx, my - 12, fmt::format("BLUE {}", table.nodes[blue]), kText);
    for (int green = 0; green < n; ++green)
        for (int red = 0; red < n; ++red)
            c.fillRect(mx + red * l.cell, my + green * l.cell, l.cell, l.cell,
                       heat(inkPercent(t.sum(red, green, blue)) / static_cast<double>(top)));
    const bool hasMax = t.at[2] == blue;
    c.frameRect(mx - 1, my - 1, l.mapSize(n) + 2, l.mapSize(n) + 2, hasMax ? kMark : kFrame);
    if (!hasMax)
        return;
    // The largest total: a ring around its node, black inside white.
    const int cx = mx + t.at[0] * l.cell, cy = my + t.at[1] * l.cell;
    c.frameRect(cx - 2, cy - 2, l.cell + 4, l.cell + 4, Rgb{255, 255, 255});
    c.frameRect(cx - 3, cy - 3, l.cell + 6, l.cell + 6, Rgb{0, 0, 0});
    c.frameRect(mx - 2, my - 2, l.mapSize(n) + 4, l.mapSize(n) + 4, kMark);
}

void drawScaleBar(Canvas& c, int x, int y, int h, int top, int maximum) {
    c.text(x - 4, y - 18, "TOTAL INK", kText);
    for (int i = 0; i < h; ++i)
        c.fillRect(x, y + h - 1 - i, 24, 1, heat(static_cast<double>(i) / (h - 1)));
    c.frameRect(x - 1, y - 1, 26, h + 2, kFrame);
    for (int p = 0; p <= top; p += tickStep(top)) {
        const int py = y + h - 1 - p * (h - 1) / top;
        c.fillRect(x + 24, py, 5, 1, kText);
        c.text(x + 32, py - 3, fmt::format("{} %", p), kText);
    }
    const int my = y + h - 1 - maximum * (h - 1) / top;
    c.fillRect(x - 10, my, 40, 2, kMark);
    c.text(x - 12 - Canvas::textWidth("MAX"), my - 3, "MAX", kMark);
}

} // namespace

void drawNeutralAxisPlot(const NeutralAxis& axis, const std::string& title,
                         const std::string& output) {
    const bool inks = axis.method != VrelMethodThreeChannel;
    int largest = 0, atGrey = 0;
    for (int g = 0; g < 256; ++g)
        if (axis.total(g) > largest)
            largest = axis.total(g), atGrey = g;
    const int top = inks ? scaleTop(inkPercent(largest)) : 100;
    Canvas c(1180, 640, Rgb{255, 255, 255});
    c.text(30, 16, "NEUTRAL AXIS OF " + title, kText, 3);
    c.text(30, 48,
           inks ? "EACH INK ALONG THE GREY RAMP AS VREL CONVERT PRINTS IT, AND THEIR TOTAL"
                : "EACH OUTPUT CHANNEL ALONG THE GREY RAMP AS VREL CONVERT WRITES IT",
           kText);
    const AxisFrame f{110, 90, 768, 460, top};
    drawAxes(c, f, inks ? "INK %" : "OUTPUT %");
    drawChannelCurves(c, f, axis);
    int ly = f.y;
    for (std::size_t i = 0; i < axis.names.size(); ++i) {
        const auto same = sameCurves(axis, i);
        std::string label = upper(axis.names[i]);
        if (same.front() != i)
            label += " (SAME AS " + upper(axis.names[same.front()]) + ")";
        legendEntry(c, f.x + f.w + 30, ly, label, curveColour(axis.method, i), 2, inks && i >= 4);
        ly += 16;
    }
    if (!inks) {
        writePng(output, c.image());
        return;
    }
    drawCurve(
        c, f, [&](int g) { return axis.total(g) * 100.0 / 255; }, kTotal, 4);
    legendEntry(c, f.x + f.w + 30, ly, "TOTAL", kTotal, 4, false);
    const int mx = f.px(atGrey), my = f.py(largest * 100.0 / 255);
    c.frameRect(mx - 5, my - 5, 11, 11, kMark);
    c.text(f.x + f.w + 30, ly + 24,
           fmt::format("MAXIMUM TOTAL {} % AT GREY {}", inkPercent(largest), atGrey), kMark);
    writePng(output, c.image());
}

void drawTotalInkPlot(const TableTotals& totals, const inspect::TableView& table,
                      const std::string& title, const std::string& output) {
    const int n = totals.gridPoints;
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    const int rows = (n + columns - 1) / columns, gap = 24;
    const int cell = std::clamp((1040 / columns - gap) / n, 2, 12);
    const MapLayout layout{40, 120, columns, cell, gap};
    const int mapsHeight = rows * (layout.mapSize(n) + 32);
    const int barX = layout.x + columns * (layout.mapSize(n) + gap) + 60;
    Canvas c(std::max(1000, barX + 90), std::max(560, layout.y + mapsHeight + 20),
             Rgb{255, 255, 255});
    c.text(30, 16, "TOTAL INK OF " + title, kText, 3);
    c.text(30, 48,
           fmt::format("THE SUM OF THE TABLE'S {} CHANNELS AT EVERY GRID NODE, "
                       "RED ACROSS AND GREEN DOWN, ONE MAP PER BLUE NODE",
                       totals.channels),
           kText);
    const auto& at = totals.at;
    c.text(30, 68,
           fmt::format("MAXIMUM {} % AT RED {} GREEN {} BLUE {} (GRID INDEX {}, {}, {}), RINGED",
                       inkPercent(totals.maximum), table.nodes[at[0]], table.nodes[at[1]],
                       table.nodes[at[2]], at[0], at[1], at[2]),
           kMark, 2);
    const int top = scaleTop(inkPercent(totals.maximum));
    for (int blue = 0; blue < n; ++blue)
        drawBlueMap(c, layout, totals, table, blue, top);
    drawScaleBar(c, barX, layout.y + 10, 400, top, inkPercent(totals.maximum));
    writePng(output, c.image());
}

} // namespace vrel::cli

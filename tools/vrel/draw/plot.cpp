// "vrel plot": a picture of one profile as the engine loaded it. Left, the
// context's curves (four adjustment curves, grey curve, input curve) with
// numbered axes; right, one slice of the conversion table at a blue grid
// index: one map per ink (red across, green down; darker = more ink), or for
// the three-channel method one map per output channel (lighter = more of
// it), and the slice's printed or output colour beside the colours of its
// grid points. Map edges carry the node values of red and green.
#include "plot.h"

#include "canvas.h"
#include "cli_error.h"
#include "convert/engine_settings.h"
#include "convert/preview.h"
#include "convert/profile_name.h"
#include "image/image_write.h"
#include "interface/context_view.h"

#include <algorithm>
#include <cctype>
#include <fmt/format.h>
#include <iostream>
#include <string>

namespace vrel::cli {

namespace {

const Rgb kInk[4] = {{0, 160, 220}, {220, 0, 140}, {220, 190, 0}, {0, 0, 0}};
const Rgb kText{30, 30, 30}, kGridLine{225, 225, 225}, kFrame{120, 120, 120};

void curvePanel(Canvas& c, int x, int y, int size, const std::string& title,
                const std::vector<std::pair<const uint8_t*, Rgb>>& curves,
                const std::vector<std::pair<std::string, Rgb>>& legend) {
    c.text(x, y - 24, title, kText, 2);
    for (int v = 0; v <= 256; v += 64) {
        const int p = v * (size - 1) / 256;
        c.fillRect(x + p, y, 1, size, kGridLine);
        c.fillRect(x, y + size - 1 - p, size, 1, kGridLine);
    }
    c.frameRect(x - 1, y - 1, size + 2, size + 2, kFrame);
    for (const auto& [curve, colour] : curves)
        for (int i = 0; i < 255; ++i) {
            const int x0 = x + i * (size - 1) / 255, x1 = x + (i + 1) * (size - 1) / 255;
            const int y0 = y + size - 1 - curve[i] * (size - 1) / 255;
            const int y1 = y + size - 1 - curve[i + 1] * (size - 1) / 255;
            c.line(x0, y0, x1, y1, colour, 2);
        }
    // Input across, output up; both 0 to 255.
    for (int v : {0, 64, 128, 192, 255}) {
        const std::string label = fmt::format("{}", v);
        const int p = v * (size - 1) / 255;
        c.text(x + p - Canvas::textWidth(label) / 2, y + size + 4, label, kText);
        c.text(x - 4 - Canvas::textWidth(label), y + size - 1 - p - 3, label, kText);
    }
    int lx = x + size + 10;
    int ly = y;
    for (const auto& [name, colour] : legend) {
        c.fillRect(lx, ly + 2, 10, 4, colour);
        c.text(lx + 14, ly, name, kText);
        ly += 12;
    }
}

void sliceHeading(Canvas& c, int x, int y, const inspect::TableView& g, int k, bool rgbOut) {
    c.text(
        x, y,
        fmt::format("TABLE SLICE AT BLUE = {} (GRID INDEX {} OF {})", g.nodes[k], k, g.gridPoints),
        kText, 2);
    c.text(x, y + 20,
           rgbOut ? "RED ACROSS, GREEN DOWN; LIGHTER = MORE OF THE OUTPUT CHANNEL"
                  : "RED ACROSS, GREEN DOWN; DARKER = MORE INK",
           kText);
}

// One map of the slice: which of the panels, and what it draws with.
struct SliceMap {
    int panel; // channel maps first, then the colour, then the grid colours
    int shown; // maps of channels
    bool rgbOut;
    int k; // blue grid index
    const std::vector<std::array<double, 3>>& colours;
};

Rgb cellColour(const inspect::TableView& g, const SliceMap& map, int i0, int i1) {
    const int n = g.gridPoints, channels = g.channels, m = map.panel, shown = map.shown;
    const uint8_t* node =
        g.grid + ((static_cast<std::size_t>(i0) * n + static_cast<std::size_t>(i1)) *
                      static_cast<std::size_t>(n) +
                  static_cast<std::size_t>(map.k)) *
                     static_cast<std::size_t>(channels);
    if (map.rgbOut && m <= shown) {
        // The engine's output: black folded into each colour channel.
        uint8_t out[3];
        for (int ch = 0; ch < 3; ++ch)
            out[ch] = static_cast<uint8_t>(255 - std::min(255, node[ch] + node[3]));
        return m < shown ? Rgb{out[m], out[m], out[m]} : Rgb{out[0], out[1], out[2]};
    }
    if (m < shown) {
        const uint8_t v = static_cast<uint8_t>(255 - node[m]);
        return {v, v, v};
    }
    if (m == shown) {
        const auto p = previewPixel(
            node, std::min<int>(channels, static_cast<int>(map.colours.size())), map.colours);
        return {p[0], p[1], p[2]};
    }
    return {g.nodes[i0], g.nodes[i1], g.nodes[map.k]};
}

void drawSliceMap(Canvas& c, int mx, int my, int cell, const std::string& label,
                  const inspect::TableView& g, const SliceMap& map) {
    const int n = g.gridPoints, mapSize = cell * n;
    c.text(mx, my, label, kText);
    // Node values of red under the map, of green beside it.
    const std::string first = fmt::format("{}", g.nodes[0]),
                      last = fmt::format("{}", g.nodes[n - 1]);
    c.text(mx, my + 14 + mapSize, first, kText);
    c.text(mx + mapSize - Canvas::textWidth(last), my + 14 + mapSize, last, kText);
    c.text(mx - 3 - Canvas::textWidth(first), my + 12, first, kText);
    c.text(mx - 3 - Canvas::textWidth(last), my + 5 + mapSize, last, kText);
    for (int i1 = 0; i1 < n; ++i1)
        for (int i0 = 0; i0 < n; ++i0)
            c.fillRect(mx + i0 * cell, my + 12 + i1 * cell, cell, cell, cellColour(g, map, i0, i1));
    c.frameRect(mx - 1, my + 11, mapSize + 2, mapSize + 2, kFrame);
}

void tableSlice(Canvas& c, int x, int y, int width, const inspect::TableView& g, int method,
                int slice) {
    if (!g.present) {
        c.text(x, y, "NO COLOUR TABLE: THE BLACK-ONLY METHOD", kText, 2);
        c.text(x, y + 24, "MAPS GREY THROUGH THE GREY CURVE AND THE BLACK ADJUSTMENT CURVE", kText);
        return;
    }
    const int n = g.gridPoints, channels = g.channels;
    const int k = slice < 0 ? n / 2 : slice;
    if (k >= n)
        throw CliError(fmt::format("--slice must be below the grid's {} points (0 to {}), not {}",
                                   n, n - 1, k));
    const bool rgbOut = method == VrelMethodThreeChannel;
    sliceHeading(c, x, y, g, k, rgbOut);
    const auto labels = slicePanelLabels(method, channels);
    const int shown = static_cast<int>(labels.size()) - 2; // maps of channels
    const int columns = 4, gap = 28;
    const int cell = std::max(2, std::min(12, (width / columns - gap) / n));
    const int mapSize = cell * n;
    const auto colours = inkColoursFor(rgbOut ? 4 : method);
    for (int m = 0; m < static_cast<int>(labels.size()); ++m) {
        const int mx = x + gap + (m % columns) * (mapSize + gap);
        const int my = y + 44 + (m / columns) * (mapSize + 44);
        drawSliceMap(c, mx, my, cell, labels[static_cast<std::size_t>(m)], g,
                     SliceMap{m, shown, rgbOut, k, colours});
    }
}

} // namespace

std::vector<std::string> slicePanelLabels(int method, int channels) {
    if (method == VrelMethodThreeChannel)
        return {"RED", "GREEN", "BLUE", "OUTPUT COLOUR", "GRID COLOURS"};
    const auto names = inkNamesFor(method);
    std::vector<std::string> labels;
    for (int m = 0; m < channels; ++m) {
        std::string label = m < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(m)]
                                                               : fmt::format("CHANNEL {}", m);
        for (auto& ch : label)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        labels.push_back(label);
    }
    labels.push_back("PRINT SIMULATION");
    labels.push_back("GRID COLOURS");
    return labels;
}

std::string profileTitle(EngineContext* context) {
    const auto name = shownProfileName(context, false);
    std::string title = "PROFILE " + (name.text.empty() ? std::string("(UNNAMED)") : name.text);
    return title + fmt::format("  (METHOD {})", conversionMethodOf(context));
}

void drawProfilePlot(EngineContext* context, int slice, const std::string& output) {
    const auto ctx = inspect::view(context);
    const int method = conversionMethodOf(context);
    Canvas c(1280, 760, Rgb{255, 255, 255});
    c.text(30, 16, profileTitle(context), kText, 3);

    curvePanel(c, 40, 90, 256, "ADJUSTMENT CURVES",
               {{ctx.adjustCurves[0], kInk[0]},
                {ctx.adjustCurves[1], kInk[1]},
                {ctx.adjustCurves[2], kInk[2]},
                {ctx.adjustCurves[3], kInk[3]}},
               {{"CYAN", kInk[0]}, {"MAGENTA", kInk[1]}, {"YELLOW", kInk[2]}, {"BLACK", kInk[3]}});
    const bool hasInput = ctx.correction.present;
    std::vector<std::pair<const uint8_t*, Rgb>> curves = {{ctx.greyCurve, Rgb{110, 110, 110}}};
    std::vector<std::pair<std::string, Rgb>> legend = {{"GREY", Rgb{110, 110, 110}}};
    if (hasInput) {
        curves.push_back({ctx.inputCurve, Rgb{40, 80, 220}});
        legend.push_back({"INPUT", Rgb{40, 80, 220}});
    } else {
        legend.push_back({"(NO INPUT CURVE)", kText});
    }
    curvePanel(c, 40, 440, 256, "GREY AND INPUT CURVES", curves, legend);
    if (slice >= 0 && !ctx.conversion.present)
        std::cerr << "vrel: warning: --slice has no effect: the black-only method has no colour "
                     "table\n";
    tableSlice(c, 440, 66, 820, ctx.conversion, method, slice);
    writePng(output, c.image());
}

} // namespace vrel::cli

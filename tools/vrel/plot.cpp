// "vrel plot": a picture of one profile as the engine loaded it. Left, the
// context's curves (four adjustment curves, grey curve, input curve); right,
// one slice of the conversion table at a blue grid index: one map per ink
// (red across, green down; darker = more ink) and the slice's print
// simulation beside the colours of its grid points.
#include "canvas.h"
#include "cli_error.h"
#include "commands.h"
#include "image_write.h"
#include "interface/inspection.h"
#include "preview.h"

#include <algorithm>
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
    c.text(x, y + size + 4, "0", kText);
    c.text(x + size - 18, y + size + 4, "255", kText);
    int lx = x + size + 10;
    int ly = y;
    for (const auto& [name, colour] : legend) {
        c.fillRect(lx, ly + 2, 10, 4, colour);
        c.text(lx + 14, ly, name, kText);
        ly += 12;
    }
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
        throw CliError("--slice must be below the grid's " + std::to_string(n) + " points");
    c.text(x, y,
           "TABLE SLICE AT BLUE = " + std::to_string(g.nodes[k]) + " (GRID INDEX " +
               std::to_string(k) + " OF " + std::to_string(n) + ")",
           kText, 2);
    c.text(x, y + 20, "RED ACROSS, GREEN DOWN; DARKER = MORE INK", kText);
    const int maps = channels + 2;
    const int columns = 4;
    const int cell = std::max(2, std::min(12, (width / columns - 16) / n));
    const int mapSize = cell * n;
    const auto names = inkNamesFor(method == 3 ? 4 : method);
    const auto colours = inkColoursFor(method == 3 ? 4 : method);
    for (int m = 0; m < maps; ++m) {
        const int mx = x + (m % columns) * (mapSize + 16);
        const int my = y + 44 + (m / columns) * (mapSize + 36);
        std::string label =
            m < channels ? (m < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(m)]
                                                               : "CHANNEL " + std::to_string(m))
            : m == channels ? "PRINT SIMULATION"
                            : "GRID COLOURS";
        c.text(mx, my, label, kText);
        for (int i1 = 0; i1 < n; ++i1)
            for (int i0 = 0; i0 < n; ++i0) {
                const uint8_t* node =
                    g.grid + ((static_cast<std::size_t>(i0) * n + static_cast<std::size_t>(i1)) *
                                  static_cast<std::size_t>(n) +
                              static_cast<std::size_t>(k)) *
                                 static_cast<std::size_t>(channels);
                Rgb colour{};
                if (m < channels) {
                    const uint8_t v = static_cast<uint8_t>(255 - node[m]);
                    colour = {v, v, v};
                } else if (m == channels) {
                    const auto p = previewPixel(
                        node, std::min<int>(channels, static_cast<int>(colours.size())), colours);
                    colour = {p[0], p[1], p[2]};
                } else {
                    colour = {g.nodes[i0], g.nodes[i1], g.nodes[k]};
                }
                c.fillRect(mx + i0 * cell, my + 12 + i1 * cell, cell, cell, colour);
            }
        c.frameRect(mx - 1, my + 11, mapSize + 2, mapSize + 2, kFrame);
    }
}

} // namespace

void drawProfilePlot(const ConversionOptions& o) {
    EngineSession session(o.settings, o.database);
    const auto ctx = inspect::view(session.context());
    const int method = conversionMethodOf(session.context());
    Canvas c(1280, 760, Rgb{255, 255, 255});
    uint8_t name[24] = {};
    VrelGetProfileName(session.context(), name, 0);
    std::string title = "PROFILE ";
    for (int i = 0; i < 24 && name[i]; ++i)
        title.push_back(static_cast<char>(name[i]));
    title += "  (METHOD " + std::to_string(method) + ")";
    c.text(30, 16, title, kText, 3);

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
    tableSlice(c, 440, 66, 820, ctx.conversion, method, o.slice);
    writePng(o.plotOutput, c.image());
}

} // namespace vrel::cli

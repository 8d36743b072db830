#include "draw_commands.h"

#include "cli_error.h"
#include "common/named_choice.h"
#include "conversion_options.h"
#include "draw/chart.h"
#include "draw/ink_plots.h"
#include "draw/plot.h"
#include "image/image_write.h"

#include <iostream>
#include <memory>

namespace vrel::cli {

namespace {

struct ChartOptions {
    std::string output;
    int width = 1200, height = 800;
};

// The pictures of "vrel plot".
enum class PlotKind { Profile, Neutral, Total };

constexpr tools::NamedChoice<PlotKind> kPlotKinds[] = {
    {"profile", PlotKind::Profile}, {"neutral", PlotKind::Neutral}, {"total", PlotKind::Total}};

struct PlotOptions {
    ConversionOptions conversion;
    std::string kind = "profile";
};

void drawPlot(const PlotOptions& options) {
    const ConversionOptions& o = options.conversion;
    const auto kind = tools::chooseByName(options.kind, kPlotKinds);
    if (!kind)
        throw CliError("--kind '" + options.kind + "': take profile, neutral or total");
    if (*kind != PlotKind::Profile && o.slice >= 0)
        throw CliError("--slice: only --kind profile draws a table slice");
    warnAboutSettings(o.settings, std::cerr);
    EngineSession session(o.settings, o.database);
    EngineContext* context = session.context();
    if (*kind == PlotKind::Profile)
        return drawProfilePlot(context, o.slice, o.plotOutput);
    if (*kind == PlotKind::Neutral)
        return drawNeutralAxisPlot(neutralAxis({o.database, o.settings, false, 1}),
                                   profileTitle(context), o.plotOutput);
    const auto table = inspect::view(context).conversion;
    if (!table.present)
        throw CliError("--kind total: the black-only method has no colour table");
    drawTotalInkPlot(tableTotals(table), table, profileTitle(context), o.plotOutput);
}

} // namespace

void addPlotCommand(CLI::App& app) {
    auto options = std::make_shared<PlotOptions>();
    ConversionOptions& o = options->conversion;
    auto* plot = app.add_subcommand(
        "plot", "Draw the selected profile as a PNG: its curves and a slice of its colour table, "
                "its inks along the grey ramp, or the total ink of its table");
    addSettingsOptions(plot, o);
    plot->add_option("-o,--output", o.plotOutput, "PNG file to write")->required();
    plot->add_option("--kind", options->kind,
                     "profile: the curves and a table slice; neutral: each ink and the total "
                     "along the grey ramp R = G = B; total: the total ink of every table node")
        ->capture_default_str();
    plot->add_option("--slice", o.slice,
                     "blue grid index of the table slice, 0 to the grid's points - 1 "
                     "(default: middle; --kind profile only)")
        ->check(CLI::Range(0, 63));
    plot->callback([options] { drawPlot(*options); });
}

void addChartCommand(CLI::App& app) {
    auto options = std::make_shared<ChartOptions>();
    ChartOptions& o = *options;
    auto* chart = app.add_subcommand("chart", "Draw a test chart (ramps, patches, skin tones, "
                                              "fine text) as an RGB PNG");
    chart->add_option("-o,--output", o.output, "PNG file to write")->required();
    chart->add_option("--width", o.width, "width in pixels")->capture_default_str();
    chart->add_option("--height", o.height, "height in pixels")->capture_default_str();
    chart->callback(
        [options] { writePng(options->output, makeChart(options->width, options->height)); });
}

} // namespace vrel::cli

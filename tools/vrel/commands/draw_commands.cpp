#include "draw_commands.h"

#include "conversion_options.h"
#include "draw/chart.h"
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

} // namespace

void addPlotCommand(CLI::App& app) {
    auto options = std::make_shared<ConversionOptions>();
    ConversionOptions& o = *options;
    auto* plot = app.add_subcommand("plot", "Draw the selected profile's curves and a slice of "
                                            "its colour table as a PNG");
    addSettingsOptions(plot, o);
    plot->add_option("-o,--output", o.plotOutput, "PNG file to write")->required();
    plot->add_option("--slice", o.slice,
                     "blue grid index of the table slice, 0 to the grid's points - 1 "
                     "(default: middle)")
        ->check(CLI::Range(0, 63));
    plot->callback([options] {
        warnAboutSettings(options->settings, std::cerr);
        EngineSession session(options->settings, options->database);
        drawProfilePlot(session.context(), options->slice, options->plotOutput);
    });
}

void addChartCommand(CLI::App& app) {
    auto options = std::make_shared<ChartOptions>();
    ChartOptions& o = *options;
    auto* chart = app.add_subcommand("chart", "Draw a test chart (ramps, patches, skin tones, "
                                              "fine text) as an RGB PNG");
    chart->add_option("-o,--output", o.output, "PNG file to write")->required();
    chart->add_option("--width", o.width, "width in pixels")->capture_default_str();
    chart->add_option("--height", o.height, "height in pixels")->capture_default_str();
    chart->callback([options] { writePng(options->output, makeChart(options->width, options->height)); });
}

} // namespace vrel::cli

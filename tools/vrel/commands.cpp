#include "commands.h"

#include "cli_error.h"
#include "image_read.h"
#include "interface/context_view.h"
#include "ppd_command.h"
#include "profile_name.h"
#ifdef VREL_RASTER_COMMAND
#include "raster_planes.h"
#endif

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace vrel::cli {

namespace {

void addSettingsOptions(CLI::App* cmd, ConversionOptions& o) {
    PrintSettings& s = o.settings;
    cmd->add_option("--db", o.database, "profile database file")->required();
    cmd->add_option("--settings", s.settingsFile,
                    "JSON file with print settings (profileNumber, keyField14, ..., "
                    "adjustSwitch, tableSelector, inputKind, balance, density, "
                    "methodOverride); options given here override it");
    cmd->add_option("--profile", s.profileNumber, "profile number (index record = number + 1000)");
    cmd->add_option("--key14", s.keyField14, "key field at offset 14 (bits 0-8 enter the key)");
    cmd->add_option("--key16", s.keyField16,
                    "key field at offset 16 (bits 0-1; nonzero "
                    "switches the balance off)");
    cmd->add_option("--key94", s.keyField94, "key field at offset 94 (bits 0-4)");
    cmd->add_option("--key104", s.keyField104, "key field at offset 104");
    cmd->add_option("--key106", s.keyField106, "key field at offset 106 (layout 2)");
    cmd->add_option("--key108", s.keyField108, "key field at offset 108 (layout 2)");
    cmd->add_option("--adjust", s.adjustSwitch,
                    "adjustment switch (1: the selector, input kind and balance apply)");
    cmd->add_option("--selector", s.tableSelector, "table selector: 0 first, 2 second, 3 third");
    cmd->add_option("--input-kind", s.inputKind, "input kind: 10, 18, 22, 32 or other");
    cmd->add_option("--balance", s.balanceText,
                    "balance of cyan,magenta,yellow,black, each -50..50, as one argument "
                    "(applies with --adjust 1)");
    cmd->add_option("--density", s.density, "density (-50..50)")
        ->check(CLI::Range(-kAdjustmentLimit, kAdjustmentLimit));
    cmd->add_flag("--three-channel", s.threeChannel, "force the three-channel method");
}

std::string nameText(const ShownName& name) {
    return "\"" + name.text + "\"" +
           (name.origin.empty() ? "" : " (" + name.origin + "; the name query answers empty)");
}

std::string searchText(const uint8_t* data) {
    char text[64];
    std::snprintf(text, sizeof text, "key %02x %02x %02x %02x, pair %u / %u", data[0], data[1],
                  data[2], data[3], static_cast<unsigned>(data[4] | data[5] << 8),
                  static_cast<unsigned>(data[6] | data[7] << 8));
    return text;
}

const char* methodName(int method) {
    switch (method) {
    case 1:
        return "black only";
    case 3:
        return "three channels (RGB out)";
    case 4:
        return "four inks";
    case 6:
        return "six inks";
    case 7:
        return "seven inks";
    }
    return "unknown";
}

} // namespace

void printProfileInfo(const ConversionOptions& o, std::ostream& out) {
    EngineSession session(o.settings, o.database);
    EngineContext* ctx = session.context();
    const int method = conversionMethodOf(ctx);
    const auto s = vrel::inspect::view(ctx);
    uint8_t search[8] = {}, searchC[8] = {};
    const uint32_t value = VrelGetSearchData(ctx, search, 0);
    const uint32_t valueC = VrelGetSearchDataC(ctx, searchC, 0);
    const auto name = shownProfileName(ctx, false);
    const auto nameC = shownProfileName(ctx, true);
    const auto& p = session.params();
    out << "database        " << o.database << "\n";
    out << "profile         number " << p.profileNumber << " (index record "
        << static_cast<uint16_t>(p.profileNumber + 1000) << "), layout " << s.layout
        << ", record flags 0x" << std::hex << std::setw(8) << std::setfill('0') << s.recordFlags
        << std::dec << std::setfill(' ') << "\n";
    out << "method          " << method << " (" << methodName(method) << "), " << s.channelCount
        << " channels in the profile\n";
    out << "name            " << nameText(name) << "\n";
    out << "search data     " << searchText(search) << "\n";
    out << "value           0x" << std::hex << std::setw(8) << std::setfill('0') << value
        << std::dec << std::setfill(' ') << "\n";
    if (s.flagExtension) {
        out << "record name     " << nameText(nameC) << " (the extension chunk answers above)\n";
        out << "record search   " << searchText(searchC) << "\n";
        out << "record value    0x" << std::hex << std::setw(8) << std::setfill('0') << valueC
            << std::dec << std::setfill(' ') << "\n";
    }
    const auto& g0 = s.conversion;
    const auto& g1 = s.correction;
    out << "conversion      ";
    if (g0.present)
        out << "chunk 0x" << std::hex << s.lutChunkId << std::dec << ", " << int(g0.channels)
            << " channels, " << int(g0.gridPoints) << " grid points\n";
    else
        out << "no table (black from the grey curve)\n";
    out << "correction      ";
    if (g1.present)
        out << "chunk 0x" << std::hex << s.correctionTableId << std::dec << ", "
            << int(g1.gridPoints) << " grid points, input kind " << s.inputKind << "\n";
    else
        out << "none\n";
    out << "grey curve      mode " << (s.adjustSwitch ? 2 : s.greyMode)
        << (s.adjustSwitch ? " (inverse ramp: adjustment switch set)" : "") << "\n";
    if (session.initResult() == VREL_OK_ADJUST)
        out << "adjustments     on (VrelInit returned 1)\n";
}

void addConversionCommands(CLI::App& app, ConversionOptions& o) {
    auto* convert = app.add_subcommand(
        "convert", "Convert an image (PNG, JPEG, TIFF; RGB, grey or palette, 8 or 16 bits) "
                   "into ink data through a profile of the database");
    addSettingsOptions(convert, o);
    convert->add_option("IN", o.input, "input image")->required();
    convert->add_option("-o,--output", o.output,
                        "ink TIFF (.tif, .tiff; '-' for stdout): CMYK for four inks, multi-ink "
                        "with ink names for six and seven");
    convert->add_option("--planes", o.planesDir,
                        "directory for one greyscale PNG per ink (created if missing)");
    convert->add_option("--preview", o.preview, "PNG simulating the printed result");
    convert->add_flag("--correct", o.correct, "run the colour correction first");
    convert
        ->add_option("--threads", o.threads,
                     "threads that decode, convert and compress bands of rows in parallel (one "
                     "engine context each); the outputs are the same for any number")
        ->capture_default_str();
    convert
        ->add_option("--compression", o.compression,
                     "ink TIFF compression: none, lzw, deflate (fastest level) or zstd (level "
                     "1, where libtiff reads it)")
        ->capture_default_str();
    convert->add_flag("--no-progress", o.noProgress, "never show a progress bar");
    convert
        ->add_option("--input-profile", o.inputProfile,
                     "colours of the image: 'embedded' (its ICC profile, or a PNG's gAMA/cHRM; "
                     "sRGB without), 'none' (values as they are) or an ICC file")
        ->capture_default_str();
    convert->add_option("--max-pixels", o.maxPixels, "refuse larger images")->capture_default_str();
    convert
        ->add_option("--max-image-memory", o.maxImageMiB,
                     "MiB that an image decoded whole (progressive JPEG, interlaced PNG) may "
                     "take; others are decoded row by row, at most " +
                         std::to_string(kMaxWidth) + " pixels wide")
        ->capture_default_str();
    convert->add_option("--page", o.page, "page of a multi-page TIFF")->capture_default_str();
    convert->footer("16-bit samples are rounded to 8 bits; transparent pixels are composited on "
                    "white paper. The image's colours are brought into sRGB through its embedded "
                    "ICC profile (see --input-profile); one line on stderr names the profile "
                    "used. All outputs appear together or not at all; an existing FIFO or "
                    "character device is written into, never replaced. A progress bar naming "
                    "each stage is shown on a terminal for images above 4 million pixels.");
    convert->callback([&o] {
        warnAboutSettings(o.settings, std::cerr);
        runConvert(o);
    });

    auto* info = app.add_subcommand("info", "Show which profile the settings select: name, "
                                            "search data, value, method, tables");
    addSettingsOptions(info, o);
    info->callback([&o] {
        warnAboutSettings(o.settings, std::cerr);
        printProfileInfo(o, std::cout);
    });

    auto* plot = app.add_subcommand("plot", "Draw the selected profile's curves and a slice of "
                                            "its colour table as a PNG");
    addSettingsOptions(plot, o);
    plot->add_option("-o,--output", o.plotOutput, "PNG file to write")->required();
    plot->add_option("--slice", o.slice,
                     "blue grid index of the table slice, 0 to the grid's points - 1 "
                     "(default: middle)")
        ->check(CLI::Range(0, 63));
    plot->callback([&o] {
        warnAboutSettings(o.settings, std::cerr);
        drawProfilePlot(o);
    });

    addPpdCommand(app);
#ifdef VREL_RASTER_COMMAND
    addRasterCommand(app);
#endif
}

} // namespace vrel::cli

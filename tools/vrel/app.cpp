#include "app.h"

#include "chart.h"
#include "cli_error.h"
#include "commands.h"
#include "db_check.h"
#include "db_commands.h"
#include "image_write.h"
#include "json_reader.h"
#include "output_budget.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

namespace vrel::cli {

namespace {

struct DbOptions {
    std::string description, output, maxSize;
    std::string dumpInput, dumpOutput;
    bool summary = false;
    std::string checkInput;
};

void addDbCommands(CLI::App& app, DbOptions& o) {
    auto* db = app.add_subcommand("db", "Build, dump and check profile database files");
    db->require_subcommand(1);

    auto* build = db->add_subcommand(
        "build", "Build a database file from a JSON description; a profile that converts through "
                 "an ICC or ink-model grid gets grey mode 2, which reproduces the grid, unless "
                 "the description names a grey mode");
    build->add_option("DESCRIPTION", o.description, "JSON description of the database")->required();
    build->add_option("-o,--output", o.output, "database file to write")->required();
    build->add_option("--max-size", o.maxSize,
                      "refuse a database larger than this many bytes (K, M, G: binary "
                      "multiples; default 256M)");
    build->callback([&o] {
        const uint64_t limit =
            o.maxSize.empty() ? kDefaultMaxDatabaseBytes : parseByteSize(o.maxSize);
        buildDatabaseFile(o.description, o.output, limit, std::cerr);
    });

    auto* dump = db->add_subcommand("dump", "Print a database as a JSON description that "
                                            "'db build' turns back into the same file");
    dump->add_option("FILE", o.dumpInput, "database file")->required();
    dump->add_option("-o,--output", o.dumpOutput, "write to this file instead of stdout");
    dump->add_flag("--summary", o.summary, "print a readable table of profiles and chunks");
    dump->callback([&o] { dumpDatabaseFile(o.dumpInput, o.dumpOutput, o.summary, std::cout); });

    auto* check = db->add_subcommand(
        "check", "Check a database file against the engine's loading rules; exit status 1 "
                 "when a problem is found");
    check->add_option("FILE", o.checkInput, "database file")->required();
    check->callback([&o] {
        const auto& checkInput = o.checkInput;
        const auto report = checkDatabaseFile(checkInput);
        printCheckReport(report, std::cout);
        if (!report.problems.empty())
            throw CliError(std::to_string(report.problems.size()) + " problem" +
                               (report.problems.size() == 1 ? "" : "s") + " found in '" +
                               checkInput + "'",
                           1);
    });
}

struct ChartOptions {
    std::string output;
    int width = 1200, height = 800;
};

void addChartCommand(CLI::App& app, ChartOptions& o) {
    auto* chart = app.add_subcommand("chart", "Draw a test chart (ramps, patches, skin tones, "
                                              "fine text) as an RGB PNG");
    chart->add_option("-o,--output", o.output, "PNG file to write")->required();
    chart->add_option("--width", o.width, "width in pixels")->capture_default_str();
    chart->add_option("--height", o.height, "height in pixels")->capture_default_str();
    chart->callback([&o] { writePng(o.output, makeChart(o.width, o.height)); });
}

// One line of at most a few hundred characters, whatever the message quotes.
std::string messageLine(const std::string& message) {
    return clipped(message, 400);
}

// The commands as registered (raster only where it is built).
std::string commandList(CLI::App& app) {
    std::string list;
    for (const auto* sub : app.get_subcommands({}))
        list += (list.empty() ? "" : ", ") + sub->get_name();
    return list;
}

// The cause of the first failed write to standard output (std::cout throws
// on it, see runApp), 0 while there was none.
int standardOutputError = 0;

int parseAndReport(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // CLI11's own exit codes (104 to 114) are not the tool's.
        std::cerr << "vrel: " << messageLine(e.what()) << " (see --help)\n";
        return 2;
    } catch (const CliError& e) {
        std::cerr << "vrel: " << messageLine(e.what()) << "\n";
        return e.status();
    } catch (const std::ios_base::failure&) {
        throw; // standard output failed: reported once, by runApp
    } catch (const std::bad_alloc&) {
        std::cerr << "vrel: out of memory (a smaller image, fewer --threads or a lower "
                     "--max-pixels or --max-image-memory may fit)\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "vrel: " << messageLine(e.what()) << "\n";
        return 2;
    }
    return 0;
}

int parseAndRun(CLI::App& app, int argc, char** argv) {
    try {
        return parseAndReport(app, argc, argv);
    } catch (const std::ios_base::failure&) {
        standardOutputError = errno ? errno : EIO; // as the failed write left it
        return 0;                                  // the status comes from finishStandardOutput
    }
}

} // namespace

int finishStandardOutput(int status) {
    // Whatever a command printed must have reached standard output: a
    // write that failed on the way (a full disk, a closed pipe) or in the
    // final flush is an error, not a success with the output cut short.
    // std::cout writes through stdout (synchronised with stdio): its flush
    // is stdout's, which reports the cause in errno.
    int error = standardOutputError;
    std::cout.exceptions(std::ios::goodbit);
    errno = 0;
    std::cout.flush();
    if (!error && !std::cout.good())
        error = errno;
    errno = 0;
    if (std::fflush(stdout) != 0 && !error)
        error = errno;
    if (!error && std::cout.good() && !std::ferror(stdout))
        return status;
    if (status != 2) // an error line is already there otherwise
        std::cerr << "vrel: cannot write standard output: " << std::strerror(error ? error : EIO)
                  << "\n";
    std::clearerr(stdout);
    std::cout.clear();
    standardOutputError = 0;
    return 2;
}

int runApp(int argc, char** argv) {
    CLI::App app{"vrel: profile databases and image conversion for the vrel colour engine"};
    app.name("vrel");
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show the help of every command");
    app.set_version_flag("--version", std::string("vrel ") + VREL_VERSION_TEXT);
    app.footer("Exit status: 0 success; 1 'db check' found problems in the file; 2 any other "
               "error (bad options included), reported on one line starting 'vrel:'. "
               "Warnings start 'vrel: warning:' and do not change the status.");
    DbOptions dbOptions;
    ChartOptions chartOptions;
    ConversionOptions conversionOptions;
    addDbCommands(app, dbOptions);
    addChartCommand(app, chartOptions);
    addConversionCommands(app, conversionOptions);
    const auto known = [&app](const std::string& name) {
        for (const auto* sub : app.get_subcommands({}))
            if (sub->check_name(name))
                return true;
        return false;
    };
    if (argc > 1 && argv[1][0] != '-' && !known(argv[1])) {
        std::cerr << "vrel: unknown command '" << messageLine(argv[1])
                  << "' (commands: " << commandList(app) << "; see --help)\n";
        return 2;
    }
    // A failed write to standard output stops the command at once, with
    // its cause still in errno.
    std::cout.exceptions(std::ios::badbit);
    return finishStandardOutput(parseAndRun(app, argc, argv));
}

} // namespace vrel::cli

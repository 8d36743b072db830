#include "app.h"

#include "cli_error.h"
#include "commands/command_table.h"
#include "description/json_reader.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

namespace vrel::cli {

namespace {

// One line of at most a few hundred characters, whatever the message quotes.
std::string messageLine(const std::string& message) {
    return clipped(message, 400);
}

// The commands of the table, for the unknown-command message.
std::string commandList() {
    std::string list;
    for (const Command& command : commandTable())
        list += (list.empty() ? "" : ", ") + std::string(command.name);
    return list;
}

bool knownCommand(const std::string& name) {
    for (const Command& command : commandTable())
        if (name == command.name)
            return true;
    return false;
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
    for (const Command& command : commandTable())
        command.add(app);
    if (argc > 1 && argv[1][0] != '-' && !knownCommand(argv[1])) {
        std::cerr << "vrel: unknown command '" << messageLine(argv[1])
                  << "' (commands: " << commandList() << "; see --help)\n";
        return 2;
    }
    // A failed write to standard output stops the command at once, with
    // its cause still in errno.
    std::cout.exceptions(std::ios::badbit);
    return finishStandardOutput(parseAndRun(app, argc, argv));
}

} // namespace vrel::cli

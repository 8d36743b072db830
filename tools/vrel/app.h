// The command-line front end: argument parsing (CLI11) and the subcommands.
#pragma once

namespace vrel::cli {

// Runs the tool; returns the exit status. Errors are printed to stderr as
// one line "vrel: <message>".
int runApp(int argc, char** argv);

} // namespace vrel::cli

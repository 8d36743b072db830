// The command-line front end: argument parsing (CLI11) and the subcommands.
#pragma once

namespace vrel::cli {

// Runs the tool; returns the exit status. Errors are printed to stderr as
// one line "vrel: <message>".
int runApp(int argc, char** argv);

// Flushes standard output (std::cout and stdout) after a command: when any
// write to it failed, prints "vrel: cannot write standard output: <reason>"
// (unless `status` is 2, whose error line is already printed) and returns 2;
// otherwise returns `status`.
int finishStandardOutput(int status);

} // namespace vrel::cli

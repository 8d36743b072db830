// Every subcommand of the tool, registered from one table: --help lists them
// in its order, and the unknown-command message names them all.
#pragma once

#include <CLI/CLI.hpp>
#include <span>

namespace vrel::cli {

struct Command {
    const char* name;
    void (*add)(CLI::App& app); // registers the command and its options
};

std::span<const Command> commandTable();

} // namespace vrel::cli

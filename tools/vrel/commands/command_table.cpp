#include "command_table.h"

#include "convert_command.h"
#include "db_commands.h"
#include "draw_commands.h"
#include "info_command.h"
#ifdef VREL_PRINT_COMMANDS
#include "cups/commands/ppd_command.h"
#include "cups/commands/raster_planes.h"
#endif

namespace vrel::cli {

namespace {

// ppd and raster belong to the print queue: they are built with the CUPS
// development files, as the filter is.
const Command kCommands[] = {
    {"db", addDatabaseCommands},
    {"convert", addConvertCommand},
    {"info", addInfoCommand},
    {"plot", addPlotCommand},
    {"chart", addChartCommand},
#ifdef VREL_PRINT_COMMANDS
    {"ppd", addPpdCommand},
    {"raster", addRasterCommand},
#endif
};

} // namespace

std::span<const Command> commandTable() {
    return kCommands;
}

} // namespace vrel::cli

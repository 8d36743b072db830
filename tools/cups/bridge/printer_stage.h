// The second stage of rastertovrel-gutenprint: the printer driver's raster
// filter, run as a child process that reads the ink raster from a pipe.
#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>

namespace vrel::cups {

// Where the printer driver's filter is: the name the PPD gives as
// *vrelPrinterFilter, in $CUPS_SERVERBIN/filter, else in /usr/lib/cups/filter.
// Empty on success, otherwise what is wrong (the filter is missing, the
// PPD names none or a name with a folder in it).
std::string findPrinterFilter(const std::string& ppdPath, std::string* program);

struct PrinterStage {
    pid_t pid = -1;
    int input = -1; // the write end of the pipe the stage reads
};

// Starts the filter with the job's first six arguments (no file: it reads
// the pipe) and the environment as it is; its standard output and error
// are the bridge's own. Empty on success, otherwise what failed.
std::string startPrinterStage(const std::string& program, char** argv, PrinterStage* stage);

// Waits for the stage to end and turns how it ended into an exit status: 0
// when it exited with 0, or however it ended when the job was stopped; 1
// otherwise, after an ERROR: line naming the filter.
int finishPrinterStage(const PrinterStage& stage, const std::string& program, bool stopped,
                       std::FILE* log);

} // namespace vrel::cups

// rastertovrel-gutenprint: vrel's colour in front of a printer driver's
// raster filter (Gutenprint's rastertogutenprint), for the PPDs that
// `vrel ppd --printer-ppd` writes.
//
//   rastertovrel-gutenprint job user title copies options [file]
//
// The vrel stage runs in this process: it reads the RGB raster (the file or
// standard input) and converts it with the PPD's *vrelDatabase, as
// rastertovrel does. Its ink raster (black first, 8 bits) goes through a
// pipe, a band at a time, to the PPD's *vrelPrinterFilter, run as a child
// with the same arguments and environment, whose output is the printer
// language on standard output. Both stages write their ERROR:, INFO: and
// DEBUG: lines to standard error; PAGE: lines come from the printer
// driver's filter alone, once a page.
//
// SIGTERM stops the vrel stage and is passed on to the child. Exit status 0
// when both stages succeeded (or the job was stopped on request), 1 after
// an ERROR: line otherwise; a missing printer filter is named before any
// raster is read.
#include "common/write_text.h"
#include "cups/filter/database_check.h"
#include "cups/filter/engine_job.h"
#include "cups/filter/filter_job.h"
#include "cups/filter/input_file.h"
#include "printer_stage.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace vrel::cups;
using vrel::tools::writeText;

volatile std::sig_atomic_t stopRequested = 0;
volatile pid_t printerPid = -1;

constexpr int kPipeBytes = 1 << 20;

void onTerminate(int) {
    stopRequested = 1;
    if (printerPid > 0)
        kill(printerPid, SIGTERM);
}

void catchSignals() {
    // Without SA_RESTART: a wait in open() ends on the signal too.
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    // A printer filter that ends early makes writes fail, not kill the bridge.
    std::signal(SIGPIPE, SIG_IGN);
}

// The raster input: the named file or standard input; -1 after a message.
int openInput(int argc, char** argv) {
    if (argc < 7)
        return 0;
    std::string problem;
    const int fd = openInputFile(argv[6], true, &problem);
    if (fd < 0 && !(errno == EINTR && stopRequested))
        writeText(stderr, "ERROR: the raster file {}\n", problem);
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6 || argc > 7) {
        writeText(stderr, "Usage: rastertovrel-gutenprint job user title copies options [file]\n");
        return 1;
    }
    catchSignals();
    DatabaseLocation database;
    std::string program;
    std::string problem = queueDatabase(&database);
    if (problem.empty())
        problem = findPrinterFilter(std::getenv("PPD"), &program);
    if (!problem.empty()) {
        writeText(stderr, "ERROR: {}\n", problem);
        return 1;
    }
    const int fd = openInput(argc, argv);
    if (fd < 0)
        return stopRequested ? 0 : 1;
    PrinterStage stage;
    if (problem = startPrinterStage(program, argv, &stage); !problem.empty()) {
        writeText(stderr, "ERROR: {}\n", problem);
        return 1;
    }
    printerPid = stage.pid;
    if (stopRequested) // a SIGTERM before the child's pid was known
        kill(stage.pid, SIGTERM);
    for (const int end : {fd, stage.input})
        fcntl(end, F_SETPIPE_SZ, kPipeBytes);
    EngineJob job(database.directory, database.name);
    const int converted = convertJob(fd, stage.input, job, stderr, &stopRequested, 0, false);
    close(stage.input);
    if (fd != 0)
        close(fd);
    const int printed = finishPrinterStage(stage, program, stopRequested != 0, stderr);
    return converted != 0 ? converted : printed;
}

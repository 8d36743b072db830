// rastertovrel: the CUPS filter that turns RGB, grey or black raster pages
// into ink raster through the vrel engine.
//
//   rastertovrel job user title copies options [file]
//
// Raster comes from the file or standard input, ink raster goes to standard
// output, messages go to standard error as ERROR:, INFO:, DEBUG: and PAGE:
// lines. The database is the PPD's *vrelDatabase, checked before any raster
// is read; each page's settings come from its header (see page_settings.h).
//
// Exit status 0 when every page was written and the input ended cleanly
// after the last; 1 otherwise, after an ERROR: line. SIGTERM (how the
// scheduler cancels a job) ends every wait promptly (for a page header, for
// a page's lines, for room in the output pipe) with an INFO: line and exit
// status 0: a cancelled job is not a failed one, and a failure status would
// make the scheduler apply the queue's error policy to it.
#include "common/write_text.h"
#include "database_check.h"
#include "engine_job.h"
#include "filter_job.h"
#include "input_file.h"
#include "ppd_database.h"

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

// The pipe size asked for standard input and output.
constexpr int kPipeBytes = 1 << 20;

void onTerminate(int) {
    stopRequested = 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6 || argc > 7) {
        writeText(stderr, "Usage: rastertovrel job user title copies options [file]\n");
        return 1;
    }
    // Without SA_RESTART: a wait in open() ends on the signal too.
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);

    DatabaseLocation database;
    if (const std::string problem = queueDatabase(&database); !problem.empty()) {
        writeText(stderr, "ERROR: {}\n", problem);
        return 1;
    }
    int fd = 0;
    if (argc == 7) {
        std::string problem;
        // CUPS names a regular file; a FIFO is read like standard input.
        fd = openInputFile(argv[6], true, &problem);
        if (fd < 0 && errno == EINTR && stopRequested) {
            writeText(stderr, "INFO: stopped on request before the first page\n");
            return 0;
        }
        if (fd < 0) {
            writeText(stderr, "ERROR: the raster file {}\n", problem);
            return 1;
        }
    }
    // Pipes of a megabyte (the most a user may set by default) carry a band
    // per wake-up instead of 64 KiB; where that is refused, they stay as they are.
    for (const int end : {fd, 1})
        fcntl(end, F_SETPIPE_SZ, kPipeBytes);
    writeText(stderr, "DEBUG: database {}/{} checked, reading raster\n",
              database.directory.empty() ? "." : database.directory, database.name);
    EngineJob job(database.directory, database.name);
    const int status = convertJob(fd, 1, job, stderr, &stopRequested);
    if (fd != 0)
        close(fd);
    return status;
}

// Fuzz target: the input is the raster stream of a print job, as the
// scheduler hands it to rastertovrel. The filter's whole job runs on it
// in-process: the stream's sync word and page headers, the header checks,
// the engine's set-up through the sample database, the band reading on its
// own thread, the conversion and ink packing of every layout, and the
// detection of a clean or damaged end. The raster is read from an anonymous
// memory file; ink raster and messages go to /dev/null. Any crash, sanitizer
// report, leak or exit status other than 0 and 1 stops the run.
#include "cups/filter/engine_job.h"
#include "cups/filter/filter_job.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The pixels one input may ask to convert: a run-length compressed line can
// stand for a whole page of lines, and conversion time follows the pixels.
constexpr uint64_t kMaxPixels = uint64_t{1} << 20;

// An anonymous file holding the input, read from its start.
int memoryFile(const uint8_t* data, size_t size) {
    const int fd = memfd_create("raster", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

} // namespace

// libcups 2.4 allocates a compressed stream's line buffer from the header's
// cupsBytesPerLine before anyone checks it: up to 4 GiB for a header of a
// few bytes. On a machine that cannot give that much the header read fails,
// and that is what the target asks of AddressSanitizer's allocator too, so
// that such an input is a quick refusal instead of minutes of poisoning.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* const log = std::fopen("/dev/null", "w");
    static const int sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    static volatile std::sig_atomic_t never = 0;
    if (log == nullptr || sink < 0)
        std::abort();
    const int fd = memoryFile(data, size);
    int status;
    {
        vrel::cups::EngineJob engine(VREL_SAMPLE_DIR, "sample.vdb");
        status = vrel::cups::convertJob(fd, sink, engine, log, &never, kMaxPixels);
    }
    close(fd);
    if (status != 0 && status != 1)
        std::abort();
    return 0;
}

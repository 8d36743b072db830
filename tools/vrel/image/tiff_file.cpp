#include "tiff_file.h"

#include <cstdarg>
#include <cstdio>

namespace vrel::cli {

namespace {

// Both return 1: the message is handled, and libtiff's process-wide
// handlers (which print to stderr) are not called.
// libtiff hands over a printf format and its arguments, which only
// vsnprintf can expand.
int keepError(TIFF*, void* sink, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    *static_cast<std::string*>(sink) = (module ? std::string(module) + ": " : std::string()) + text;
    return 1;
}

int dropWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

} // namespace

// Open options whose handlers write to one file's messages; libtiff copies
// the handlers into the file it opens, so the options live only for the open.
class TiffFile::Options {
  public:
    explicit Options(Messages& messages) : options_(TIFFOpenOptionsAlloc()) {
        if (!options_) // libtiff then opens with its defaults
            return;
        TIFFOpenOptionsSetErrorHandlerExtR(options_, keepError, &messages.lastError);
        TIFFOpenOptionsSetWarningHandlerExtR(options_, dropWarning, nullptr);
    }
    ~Options() {
        if (options_)
            TIFFOpenOptionsFree(options_);
    }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    TIFFOpenOptions* get() const { return options_; }

  private:
    TIFFOpenOptions* options_;
};

TiffFile TiffFile::openDescriptor(int fd, const std::string& name, const char* mode) {
    TiffFile file;
    const Options options(*file.messages_);
    file.tiff_.reset(TIFFFdOpenExt(fd, name.c_str(), mode, options.get()));
    return file;
}

TiffFile TiffFile::openClient(const char* name, const char* mode, thandle_t handle,
                              const TiffClientIo& io) {
    TiffFile file;
    const Options options(*file.messages_);
    file.tiff_.reset(TIFFClientOpenExt(name, mode, handle, io.read, io.write, io.seek, io.close,
                                       io.size, io.map, io.unmap, options.get()));
    return file;
}

} // namespace vrel::cli

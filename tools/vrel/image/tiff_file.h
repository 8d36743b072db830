// A libtiff handle that keeps its own messages: each file is opened with
// handlers that route libtiff's errors about it, including those raised
// while it is being opened, to the file's own sink, so files read and
// written on different threads never mix their messages.
#pragma once

#include <memory>
#include <string>
#include <tiffio.h>

namespace vrel::cli {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// The procedures of libtiff's client interface, for files not on disk.
struct TiffClientIo {
    TIFFReadWriteProc read;
    TIFFReadWriteProc write;
    TIFFSeekProc seek;
    TIFFCloseProc close;
    TIFFSizeProc size;
    TIFFMapFileProc map;
    TIFFUnmapFileProc unmap;
};

class TiffFile {
  public:
    TiffFile() = default;

    // Opens on a descriptor, which the file closes when it is closed; when
    // the open fails the descriptor stays the caller's and the file is empty
    // with the reason in lastMessage().
    static TiffFile openDescriptor(int fd, const std::string& name, const char* mode);
    static TiffFile openClient(const char* name, const char* mode, thandle_t handle,
                               const TiffClientIo& io);

    TIFF* get() const { return tiff_.get(); }
    explicit operator bool() const { return tiff_ != nullptr; }
    // The last error libtiff reported on this file (warnings are dropped:
    // libtiff warns about every private tag it does not know).
    const std::string& lastMessage() const { return messages_->lastError; }
    // Closes the file; its messages stay readable.
    void close() { tiff_.reset(); }

  private:
    struct Messages {
        std::string lastError;
    };
    class Options;

    // Declared before the handle so that messages raised while it closes
    // still have somewhere to go.
    std::unique_ptr<Messages> messages_ = std::make_unique<Messages>();
    std::unique_ptr<TIFF, TiffCloser> tiff_;
};

} // namespace vrel::cli

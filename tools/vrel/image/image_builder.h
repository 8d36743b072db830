// The common end of the image decoders: checks the size an image claims
// against the pixel limit before anything is allocated for it, takes the
// decoded rows one at a time (growing the image as they arrive, so a file
// that claims a huge size but holds little data costs little), composites
// alpha on white, applies the input profile and reduces 16-bit samples to
// 8 bits with rounding. An image stored other than upright (an orientation
// tag other than 1) is kept whole and handed on turned upright at the end.
#pragma once

#include "colour_input.h"
#include "image.h"
#include "image_read.h"
#include "resolution.h"

#include <memory>
#include <optional>
#include <string>

namespace vrel::cli {

enum class Alpha { None, Straight, Premultiplied };

struct SourceFormat {
    int width = 0, height = 0;
    int colours = 0; // 1 grey or 3 RGB
    int bits = 8;    // 8 or 16 (native byte order)
    Alpha alpha = Alpha::None;
    EmbeddedColour colour;
    long orientation = 1;                 // as the file's tag says; 1 when it has none
    const char* orientationTag = "";      // "EXIF" or "TIFF", for the user
    std::optional<Resolution> resolution; // none when the file states none
};

class ImageBuilder {
  public:
    ImageBuilder(const std::string& path, const ReadOptions& options);
    ~ImageBuilder();

    // Throws CliError when the size is empty, wider than kMaxWidth or above
    // the pixel limit.
    void begin(const SourceFormat& format);
    // For an image decoded whole (`kind` says which, e.g. "a progressive
    // JPEG"): throws CliError when its decoding would hold more than the
    // limit, `bytes`.
    void checkWholeImage(const std::string& kind, uint64_t bytes) const;
    // One row of width x (colours + 1 if alpha) samples.
    void addRow(const void* samples);
    // The whole image (its size only when streamed); throws CliError when
    // rows are missing.
    Image finish();

    void warn(const std::string& message) const;
    void note(const std::string& message) const;
    std::string damaged(const std::string& reason) const;
    // The "too short" reason of a file that cannot hold the image it claims.
    std::string tooShort(uint64_t width, uint64_t height, const std::string& detail = "") const;
    int page() const { return options_.page; }
    const std::string& path() const { return path_; }
    const std::string& profileUsed() const { return profileUsed_; }
    int rowsDone() const { return rows_; }

  private:
    // The orientation to apply; a value outside 1 to 8 is ignored with a warning.
    int orientationOf(const SourceFormat& format) const;
    // The whole image turned upright, or its size when handed on in bands.
    Image turnUpright();

    std::string path_;
    const ReadOptions& options_;
    SourceFormat format_;
    std::unique_ptr<InputColour> colour_;
    std::vector<uint16_t> wide_;  // a composited 16-bit row
    std::vector<uint8_t> narrow_; // a composited 8-bit row
    Image image_;
    Image band_; // the band being filled when the rows are streamed
    int bandRows_ = 0;
    int bandFirst_ = 0;
    int rows_ = 0;
    int orientation_ = 1;
    std::string profileUsed_;
};

} // namespace vrel::cli

#include "orientation.h"

#include <cstring>
#include <libexif/exif-data.h>
#include <memory>
#include <vector>

namespace vrel::cli {

namespace {

// Where an upright row begins in the stored picture, and how far apart
// (in stored pixels) its pixels lie there.
struct RowWalk {
    std::ptrdiff_t start, step;
};

RowWalk walkOf(int orientation, int y, std::ptrdiff_t w, std::ptrdiff_t h) {
    const std::ptrdiff_t row = w; // one stored row, in pixels
    switch (orientation) {
    case 2: // mirrored
        return {y * row + w - 1, -1};
    case 3: // upside down
        return {(h - 1 - y) * row + w - 1, -1};
    case 4: // mirrored upside down
        return {(h - 1 - y) * row, 1};
    case 5: // transposed: upright row y is stored column y, top down
        return {y, row};
    case 6: // on its left side: stored column y, bottom up
        return {(h - 1) * row + y, -row};
    case 7: // transposed the other way: stored column w-1-y, bottom up
        return {(h - 1) * row + w - 1 - y, -row};
    case 8: // on its right side: stored column w-1-y, top down
        return {w - 1 - y, row};
    default:
        return {y * row, 1};
    }
}

struct ExifFree {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

} // namespace

bool isOrientation(long value) {
    return value >= 1 && value <= 8;
}

bool swapsAxes(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

const char* orientationWords(int orientation) {
    switch (orientation) {
    case 2:
        return "mirrored left to right";
    case 3:
        return "rotated 180°";
    case 4:
        return "mirrored top to bottom";
    case 5:
        return "mirrored left to right and rotated 90° anticlockwise";
    case 6:
        return "rotated 90° clockwise";
    case 7:
        return "mirrored left to right and rotated 90° clockwise";
    case 8:
        return "rotated 90° anticlockwise";
    default:
        return "upright";
    }
}

Image uprightRows(const Image& stored, int orientation, int first, int count) {
    const bool swap = swapsAxes(orientation);
    Image out(swap ? stored.height : stored.width, count, stored.channels);
    const auto c = static_cast<std::size_t>(stored.channels);
    for (int y = 0; y < count; ++y) {
        const RowWalk walk = walkOf(orientation, first + y, stored.width, stored.height);
        uint8_t* row = out.row(y);
        for (std::ptrdiff_t x = 0; x < out.width; ++x, row += c) // indices stay inside
            std::memcpy(row,
                        stored.pixels.data() + (walk.start + x * walk.step) * std::ptrdiff_t(c), c);
    }
    return out;
}

std::optional<long> exifOrientation(const uint8_t* data, std::size_t size) {
    static constexpr uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<uint8_t> app1; // libexif takes the data with its APP1 header
    if (size < sizeof kHeader || std::memcmp(data, kHeader, sizeof kHeader) != 0) {
        app1.assign(kHeader, kHeader + sizeof kHeader);
        app1.insert(app1.end(), data, data + size);
        data = app1.data();
        size = app1.size();
    }
    if (size > 0xffffffffu)
        return std::nullopt;
    const std::unique_ptr<ExifData, ExifFree> exif(exif_data_new());
    if (!exif)
        return std::nullopt;
    // Read only: no tags added or changed to follow the EXIF standard.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif.get(), data, static_cast<unsigned int>(size));
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data ||
        entry->size < 2)
        return std::nullopt;
    return exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
}

} // namespace vrel::cli

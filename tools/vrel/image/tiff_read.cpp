#include "cli_error.h"
#include "image_decoders.h"
#include "tiff_file.h"

#include <cstdarg>
#include <cstring>
#include <fmt/format.h>
#include <limits>
#include <memory>
#include <optional>
#include <tiffio.h>
#include <unistd.h>

namespace vrel::cli {

namespace {

// Sample `index` of a row packed with `bits` per sample (1, 2, 4, 8 or 16).
unsigned sampleAt(const uint8_t* row, std::size_t index, int bits) {
    switch (bits) {
    case 16: {
        uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    case 8:
        return row[index];
    default: {
        const std::size_t bit = index * static_cast<std::size_t>(bits);
        const unsigned shift = 8u - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
        return (row[bit / 8] >> shift) & ((1u << bits) - 1u);
    }
    }
}

// An unsigned number of `bytes` bytes at `at` in the file, in the file's
// byte order; nullopt when the file ends before it.
std::optional<uint64_t> fileNumber(int fd, bool littleEndian, uint64_t at, int bytes) {
    uint8_t b[8] = {};
    if (at > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) ||
        ::pread(fd, b, static_cast<std::size_t>(bytes), static_cast<off_t>(at)) != bytes)
        return std::nullopt;
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint64_t{b[littleEndian ? i : bytes - 1 - i]} << (8 * i);
    return v;
}

// The photometric interpretation as the current directory states it, or -1:
// libtiff quietly reads an 8-bit palette image whose colour map is missing
// (or of the wrong size, which it drops) as grey.
int statedPhotometric(int fd, TIFF* t) {
    const auto order = fileNumber(fd, true, 0, 2);
    const bool little = order && *order == 0x4949; // "II"
    const bool big = TIFFIsBigTIFF(t) != 0;
    const uint64_t dir = TIFFCurrentDirOffset(t);
    const auto count = fileNumber(fd, little, dir, big ? 8 : 2);
    const uint64_t entrySize = big ? 20 : 12, first = dir + (big ? 8 : 2);
    for (uint64_t i = 0; count && i < std::min<uint64_t>(*count, 65535); ++i) {
        const auto tag = fileNumber(fd, little, first + i * entrySize, 2);
        if (!tag)
            break;
        if (*tag == TIFFTAG_PHOTOMETRIC) {
            const auto v = fileNumber(fd, little, first + i * entrySize + (big ? 12 : 8), 2);
            return v ? static_cast<int>(*v) : -1;
        }
    }
    return -1;
}

// Every strip must lie inside the file, and an uncompressed one must hold
// all its rows: checked before anything is allocated for the image.
void checkStrips(TIFF* t, uint64_t fileSize, bool compressed, const ImageBuilder& builder) {
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    const uint32_t strips = TIFFNumberOfStrips(t);
    const uint64_t scan = static_cast<uint64_t>(TIFFScanlineSize64(t));
    uint64_t rowsLeft = height;
    for (uint32_t s = 0; s < strips; ++s) {
        int error = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(t, s, &error);
        const uint64_t count = TIFFGetStrileByteCountWithErr(t, s, &error);
        const uint64_t rows = std::min<uint64_t>(rowsLeft, std::max<uint32_t>(rowsPerStrip, 1));
        rowsLeft -= rows;
        std::string detail;
        if (error || offset > fileSize || count > fileSize - offset)
            detail = fmt::format("strip {} of {} ends beyond the file's {} bytes", s + 1, strips,
                                 fileSize);
        else if (!compressed && scan > 0 && count / scan < rows) // count < rows * scan
            detail = fmt::format("strip {} of {} holds {} of its {} bytes", s + 1, strips, count,
                                 rows * scan);
        if (!detail.empty())
            throw CliError(builder.tooShort(width, height, detail));
    }
}

// Chooses the page asked for and says when others are left out.
void choosePage(const TiffFile& file, const ImageBuilder& builder) {
    TIFF* t = file.get();
    const int pages = static_cast<int>(std::min<tdir_t>(TIFFNumberOfDirectories(t), 0x7fffffff));
    const int page = builder.page();
    if (page < 1 || page > pages)
        throw CliError(fmt::format("--page {}: image '{}' has {} {}", page, builder.path(), pages,
                                   pages == 1 ? "page" : "pages"));
    if (page > 1 && !TIFFSetDirectory(t, static_cast<tdir_t>(page - 1)))
        throw CliError(builder.damaged(
            fmt::format("cannot read page {}{}", page,
                        file.lastMessage().empty() ? "" : ": " + file.lastMessage())));
    if (pages > 1)
        builder.warn(fmt::format("'{}' has {} pages; page {} is converted{}", builder.path(), pages,
                                 page, page == 1 ? " (choose another with --page)" : ""));
}

// The layout of the page being read, as libtiff reports it, once checked to
// be one the tool takes.
struct TiffLayout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, photometric = 0, compression = COMPRESSION_NONE;
    bool grey = false, palette = false;
    int colourSamples = 1;
};

TiffLayout readLayout(TIFF* t, int fd, const ImageBuilder& builder) {
    const std::string unsupported = "unsupported image '" + builder.path() + "': ";
    TiffLayout l;
    uint16_t planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &l.height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &l.compression);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &l.photometric))
        throw CliError(unsupported + "no photometric interpretation");
    if (TIFFIsTiled(t))
        throw CliError(unsupported + "tiled TIFF images are not taken");
    if (l.photometric == PHOTOMETRIC_YCBCR && l.compression == COMPRESSION_JPEG) {
        // libtiff's JPEG codec converts to RGB itself.
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        l.photometric = PHOTOMETRIC_RGB;
    }
    if (sampleFormat != SAMPLEFORMAT_UINT)
        throw CliError(unsupported + "samples that are not unsigned integers are not taken");
    if (l.photometric != PHOTOMETRIC_PALETTE && statedPhotometric(fd, t) == PHOTOMETRIC_PALETTE)
        throw CliError(builder.damaged("a palette image whose colour map is missing or does not "
                                       "have one entry for each of its values"));
    l.grey = l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE;
    l.palette = l.photometric == PHOTOMETRIC_PALETTE;
    if (!l.grey && !l.palette && l.photometric != PHOTOMETRIC_RGB)
        throw CliError(fmt::format("{}photometric interpretation {} (RGB, grey and palette images "
                                   "are taken)",
                                   unsupported, l.photometric));
    const uint16_t b = l.bits;
    const bool bitsTaken = l.grey      ? (b == 1 || b == 2 || b == 4 || b == 8 || b == 16)
                           : l.palette ? (b == 1 || b == 2 || b == 4 || b == 8)
                                       : (b == 8 || b == 16);
    if (!bitsTaken)
        throw CliError(fmt::format("{}{} bits per sample", unsupported, b));
    l.colourSamples = l.palette || l.grey ? 1 : 3;
    if (l.samples < l.colourSamples)
        throw CliError(fmt::format("{}{} samples per pixel", unsupported, l.samples));
    if (planar != PLANARCONFIG_CONTIG && l.samples > 1)
        throw CliError(unsupported + "separate colour planes are not taken");
    return l;
}

// What the builder is told: size, samples, alpha, orientation and the
// embedded profile.
SourceFormat formatOf(TIFF* t, const TiffLayout& l) {
    SourceFormat format;
    format.width = static_cast<int>(std::min<uint32_t>(l.width, 0x7fffffff));
    format.height = static_cast<int>(std::min<uint32_t>(l.height, 0x7fffffff));
    format.colours = l.palette ? 3 : l.colourSamples;
    format.bits = l.palette || l.bits == 16 ? 16 : 8;
    uint16_t extraCount = 0;
    uint16_t* extraKinds = nullptr;
    if (!l.palette && l.samples > l.colourSamples &&
        TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount > 0) {
        if (extraKinds[0] == EXTRASAMPLE_UNASSALPHA)
            format.alpha = Alpha::Straight;
        else if (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA)
            format.alpha = Alpha::Premultiplied;
    }
    uint16_t orientation = ORIENTATION_TOPLEFT; // libtiff drops a value outside 1 to 8
    if (TIFFGetField(t, TIFFTAG_ORIENTATION, &orientation)) {
        format.orientation = orientation;
        format.orientationTag = "TIFF";
    }
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH;
    if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &y)) {
        TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
        format.resolution = resolutionFromTiff(x, y, unit);
    }
    uint32_t profileLength = 0;
    void* profile = nullptr;
    if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile)
        format.colour.iccProfile.assign(static_cast<uint8_t*>(profile),
                                        static_cast<uint8_t*>(profile) + profileLength);
    return format;
}

struct ColourMap {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
};

// Reads the rows one by one into the builder: 8-bit rows of exactly the
// samples it takes as they are, others through 8- or 16-bit samples.
void readRows(const TiffFile& file, const TiffLayout& l, const SourceFormat& format,
              const ColourMap& map, ImageBuilder& builder) {
    TIFF* t = file.get();
    const auto scanSize = static_cast<std::size_t>(TIFFScanlineSize64(t));
    if (scanSize < (static_cast<std::size_t>(l.width) * l.samples * l.bits + 7) / 8)
        throw CliError(builder.damaged("inconsistent scanline size"));
    std::vector<uint8_t> scan(scanSize);
    const int outSamples = format.colours + (format.alpha == Alpha::None ? 0 : 1);
    std::vector<uint8_t> narrow;
    std::vector<uint16_t> wide;
    (format.bits == 16 ? wide.resize(static_cast<std::size_t>(l.width) * outSamples)
                       : narrow.resize(static_cast<std::size_t>(l.width) * outSamples));
    const unsigned bits = l.bits, maxValue = (1u << bits) - 1u;
    const bool whiteIsZero = l.photometric == PHOTOMETRIC_MINISWHITE;
    const bool plain = !l.palette && bits == 8 && !whiteIsZero && l.samples == outSamples;
    for (uint32_t y = 0; y < l.height; ++y) {
        if (TIFFReadScanline(t, scan.data(), y, 0) < 0)
            throw CliError(builder.damaged(
                fmt::format("cannot read row {}{}", y,
                            file.lastMessage().empty() ? "" : ": " + file.lastMessage())));
        if (plain) {
            builder.addRow(scan.data());
            continue;
        }
        for (std::size_t x = 0; x < l.width; ++x) {
            const std::size_t in = x * l.samples;
            const std::size_t out = x * static_cast<std::size_t>(outSamples);
            if (l.palette) {
                const unsigned index = sampleAt(scan.data(), in, l.bits);
                wide[out] = map.red[index];
                wide[out + 1] = map.green[index];
                wide[out + 2] = map.blue[index];
                continue;
            }
            for (int c = 0; c < outSamples; ++c) {
                unsigned v = sampleAt(scan.data(), in + static_cast<std::size_t>(c), l.bits);
                if (c == 0 && whiteIsZero)
                    v = maxValue - v;
                if (bits == 16)
                    wide[out + static_cast<std::size_t>(c)] = static_cast<uint16_t>(v);
                else
                    narrow[out + static_cast<std::size_t>(c)] =
                        static_cast<uint8_t>(bits == 8 ? v : (v * 255u + maxValue / 2) / maxValue);
            }
        }
        builder.addRow(format.bits == 16 ? static_cast<const void*>(wide.data()) : narrow.data());
    }
}

} // namespace

void decodeTiff(InputFile& input, ImageBuilder& builder) {
    const std::string& path = builder.path();
    const int fd = ::dup(input.descriptor());
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        throw CliError("cannot read image '" + path + "': " + std::strerror(errno));
    // Read, not mapped: a mapped file's pages would count as the tool's
    // memory while it streams through the image.
    const TiffFile tiff = TiffFile::openDescriptor(fd, path, "rm");
    if (!tiff) {
        ::close(fd);
        throw CliError(builder.damaged(tiff.lastMessage()));
    }
    TIFF* t = tiff.get();
    choosePage(tiff, builder);
    const TiffLayout layout = readLayout(t, input.descriptor(), builder);
    const SourceFormat format = formatOf(t, layout);
    ColourMap map;
    if (layout.palette && !TIFFGetField(t, TIFFTAG_COLORMAP, &map.red, &map.green, &map.blue))
        throw CliError(builder.damaged("a palette image without its colour map"));
    checkStrips(t, input.size(), layout.compression != COMPRESSION_NONE, builder);
    builder.begin(format);
    readRows(tiff, layout, format, map, builder);
}

} // namespace vrel::cli

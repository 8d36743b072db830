#include "cli_error.h"
#include "image_decoders.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <tiffio.h>
#include <unistd.h>

namespace vrel::cli {

namespace {

thread_local std::string tiffMessage;

void tiffErrorHandler(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    tiffMessage = (module ? std::string(module) + ": " : std::string()) + text;
}

// libtiff warns about every private tag it does not know; those say nothing
// about the pixels.
void tiffWarningHandler(const char*, const char*, va_list) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

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

} // namespace

void decodeTiff(InputFile& input, ImageBuilder& builder) {
    TIFFSetErrorHandler(tiffErrorHandler);
    TIFFSetWarningHandler(tiffWarningHandler);
    tiffMessage.clear();
    const std::string& path = builder.path();
    const std::string unsupported = "unsupported image '" + path + "': ";
    const int fd = ::dup(input.descriptor());
    if (fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        throw CliError("cannot read image '" + path + "': " + std::strerror(errno));
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFFdOpen(fd, path.c_str(), "r"));
    if (!tiff) {
        ::close(fd);
        throw CliError(builder.damaged(tiffMessage));
    }
    TIFF* t = tiff.get();
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
        throw CliError(unsupported + "no photometric interpretation");
    if (TIFFIsTiled(t))
        throw CliError(unsupported + "tiled TIFF images are not taken");
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        // libtiff's JPEG codec converts to RGB itself.
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    if (sampleFormat != SAMPLEFORMAT_UINT)
        throw CliError(unsupported + "samples that are not unsigned integers are not taken");
    const bool grey =
        photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const bool palette = photometric == PHOTOMETRIC_PALETTE;
    if (!grey && !palette && photometric != PHOTOMETRIC_RGB)
        throw CliError(unsupported + "photometric interpretation " + std::to_string(photometric) +
                       " (RGB, grey and palette images are taken)");
    const bool bitsTaken = grey ? (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16)
                           : palette ? (bits == 1 || bits == 2 || bits == 4 || bits == 8)
                                     : (bits == 8 || bits == 16);
    if (!bitsTaken)
        throw CliError(unsupported + std::to_string(bits) + " bits per sample");
    const int colourSamples = palette || grey ? 1 : 3;
    if (samples < colourSamples)
        throw CliError(unsupported + std::to_string(samples) + " samples per pixel");
    if (planar != PLANARCONFIG_CONTIG && samples > 1)
        throw CliError(unsupported + "separate colour planes are not taken");

    SourceFormat format;
    format.width = static_cast<int>(std::min<uint32_t>(width, 0x7fffffff));
    format.height = static_cast<int>(std::min<uint32_t>(height, 0x7fffffff));
    format.colours = palette ? 3 : colourSamples;
    format.bits = palette || bits == 16 ? 16 : 8;
    uint16_t extraCount = 0;
    uint16_t* extraKinds = nullptr;
    if (!palette && samples > colourSamples &&
        TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount > 0) {
        if (extraKinds[0] == EXTRASAMPLE_UNASSALPHA)
            format.alpha = Alpha::Straight;
        else if (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA)
            format.alpha = Alpha::Premultiplied;
    }
    uint32_t profileLength = 0;
    void* profile = nullptr;
    if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile)
        format.colour.iccProfile.assign(static_cast<uint8_t*>(profile),
                                        static_cast<uint8_t*>(profile) + profileLength);
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (palette && !TIFFGetField(t, TIFFTAG_COLORMAP, &red, &green, &blue))
        throw CliError(builder.damaged("a palette image without its colour map"));
    builder.begin(format);

    const auto scanSize = static_cast<std::size_t>(TIFFScanlineSize64(t));
    if (scanSize < (static_cast<std::size_t>(width) * samples * bits + 7) / 8)
        throw CliError(builder.damaged("inconsistent scanline size"));
    std::vector<uint8_t> scan(scanSize);
    const int outSamples = format.colours + (format.alpha == Alpha::None ? 0 : 1);
    std::vector<uint8_t> narrow;
    std::vector<uint16_t> wide;
    (format.bits == 16 ? wide.resize(static_cast<std::size_t>(width) * outSamples)
                       : narrow.resize(static_cast<std::size_t>(width) * outSamples));
    const unsigned maxValue = (1u << bits) - 1u;
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(t, scan.data(), y, 0) < 0)
            throw CliError(builder.damaged("cannot read row " + std::to_string(y) +
                                           (tiffMessage.empty() ? "" : ": " + tiffMessage)));
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t in = x * samples;
            const std::size_t out = x * static_cast<std::size_t>(outSamples);
            if (palette) {
                const unsigned index = sampleAt(scan.data(), in, bits);
                wide[out] = red[index];
                wide[out + 1] = green[index];
                wide[out + 2] = blue[index];
                continue;
            }
            for (int c = 0; c < outSamples; ++c) {
                unsigned v = sampleAt(scan.data(), in + static_cast<std::size_t>(c), bits);
                if (c == 0 && photometric == PHOTOMETRIC_MINISWHITE)
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

} // namespace vrel::cli

#include "image_write.h"

#include "cli_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>
#include <memory>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

namespace vrel::cli {

void writePng(StagedOutput& out, const Image& image) {
    if (image.channels != 1 && image.channels != 3)
        throw CliError(fmt::format("cannot write a {}-channel PNG", image.channels));
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = image.channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    std::FILE* file = out.openStream();
    const bool written =
        png_image_write_to_stdio(&png, file, 0, image.pixels.data(), 0, nullptr) != 0;
    const int error = errno;
    if (std::fclose(file) != 0 || !written)
        throw CliError("cannot write '" + out.path() + "': " +
                       (written ? std::strerror(errno)
                                : std::string(png.message) +
                                      (error ? std::string(" (") + std::strerror(error) + ")"
                                             : std::string())));
}

void writePng(const std::string& path, const Image& image) {
    OutputSet set;
    writePng(set.add(path), image);
    set.commit();
}

namespace {

// The photometric interpretation, ink set and ink names of `layout.inks`
// channels.
void setInkTags(TIFF* t, const InkTiffLayout& layout) {
    const int n = layout.inks;
    if (n == 1) {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    } else if (n == 3) {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    } else {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
        if (n == 4) {
            TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
        } else {
            TIFFSetField(t, TIFFTAG_INKSET, INKSET_MULTIINK);
            TIFFSetField(t, TIFFTAG_NUMBEROFINKS, n);
            // A separation has four colour channels for libtiff and its
            // tools; the inks beyond those are declared as extra samples
            // of no given meaning, so the file opens without a warning.
            if (n > 4) {
                const std::vector<uint16_t> extra(static_cast<std::size_t>(n - 4),
                                                  EXTRASAMPLE_UNSPECIFIED);
                TIFFSetField(t, TIFFTAG_EXTRASAMPLES, n - 4, extra.data());
            }
        }
        // Ink names as one run of NUL-terminated strings.
        std::string names;
        for (int i = 0; i < n; ++i) {
            names += i < static_cast<int>(layout.inkNames.size())
                         ? layout.inkNames[static_cast<size_t>(i)]
                         : fmt::format("Ink {}", i);
            names.push_back('\0');
        }
        TIFFSetField(t, TIFFTAG_INKNAMES, static_cast<int>(names.size()), names.data());
    }
}

} // namespace

TiffFile openInkTiff(StagedOutput& out, const InkTiffLayout& layout) {
    const int n = layout.inks;
    const std::string& path = out.path();
    if (n < 1 || n > 8)
        throw CliError(fmt::format("cannot write a TIFF with {} inks", n));
    // TIFFClose closes the descriptor it is given: a copy.
    const int fd = ::dup(out.descriptor());
    TiffFile tiff = fd < 0 ? TiffFile() : TiffFile::openDescriptor(fd, path, "w");
    if (!tiff && fd >= 0)
        ::close(fd);
    if (!tiff)
        throw CliError("cannot write '" + path + "': " + tiff.lastMessage());
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(layout.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(layout.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, n);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, layout.compression);
    if (layout.compression != COMPRESSION_NONE && layout.predictor != PREDICTOR_NONE)
        TIFFSetField(t, TIFFTAG_PREDICTOR, layout.predictor);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP,
                 layout.rowsPerStrip ? layout.rowsPerStrip : TIFFDefaultStripSize(t, 0));
    TIFFSetField(t, TIFFTAG_SOFTWARE, "vrel");
    if (const auto& r = layout.resolution) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(r->x));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(r->y));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT,
                     r->perCentimetre ? RESUNIT_CENTIMETER : RESUNIT_INCH);
    }
    if (!layout.iccProfile.empty())
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(layout.iccProfile.size()),
                     layout.iccProfile.data());
    setInkTags(t, layout);
    return tiff;
}

void writeInkTiff(StagedOutput& out, const Image& inks, const std::vector<std::string>& inkNames,
                  const RowProgress& progress) {
    const std::string& path = out.path();
    {
        InkTiffLayout layout;
        layout.width = inks.width;
        layout.height = inks.height;
        layout.inks = inks.channels;
        layout.inkNames = inkNames;
        auto tiff = openInkTiff(out, layout);
        TIFF* t = tiff.get();
        for (int y = 0; y < inks.height; ++y) {
            if (TIFFWriteScanline(t, const_cast<uint8_t*>(inks.row(y)), static_cast<uint32_t>(y),
                                  0) < 0)
                throw CliError("cannot write '" + path + "': " + tiff.lastMessage());
            if (progress && y % 64 == 0)
                progress(y, inks.height);
        }
        if (!TIFFFlush(t))
            throw CliError("cannot write '" + path + "': " + tiff.lastMessage());
    }
    if (progress)
        progress(inks.height, inks.height);
}

void writeInkTiff(const std::string& path, const Image& inks,
                  const std::vector<std::string>& inkNames) {
    OutputSet set;
    writeInkTiff(set.add(path), inks, inkNames);
    set.commit();
}

} // namespace vrel::cli

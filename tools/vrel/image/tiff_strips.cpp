#include "tiff_strips.h"

#include "cli_error.h"
#include "common/named_choice.h"
#include "tiff_file.h"

#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <tiffio.h>
#include <zstd.h>

namespace vrel::cli {

namespace {

constexpr int kDeflateLevel = 1;
constexpr int kZstdLevel = 1;

struct DeflateFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct ZstdFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

std::vector<uint8_t> deflateStrip(const uint8_t* data, std::size_t size) {
    thread_local std::unique_ptr<libdeflate_compressor, DeflateFree> compressor(
        libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor)
        throw CliError("cannot set up the Deflate compressor");
    std::vector<uint8_t> out(libdeflate_zlib_compress_bound(compressor.get(), size));
    const std::size_t got =
        libdeflate_zlib_compress(compressor.get(), data, size, out.data(), out.size());
    if (got == 0)
        throw CliError("Deflate compression of a TIFF strip failed");
    out.resize(got);
    return out;
}

std::vector<uint8_t> zstdStrip(const uint8_t* data, std::size_t size) {
    thread_local std::unique_ptr<ZSTD_CCtx, ZstdFree> context(ZSTD_createCCtx());
    if (!context)
        throw CliError("cannot set up the ZSTD compressor");
    std::vector<uint8_t> out(ZSTD_compressBound(size));
    const std::size_t got =
        ZSTD_compressCCtx(context.get(), out.data(), out.size(), data, size, kZstdLevel);
    if (ZSTD_isError(got))
        throw CliError(std::string("ZSTD compression of a TIFF strip failed: ") +
                       ZSTD_getErrorName(got));
    out.resize(got);
    return out;
}

// A growing in-memory file for libtiff's client interface.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    std::size_t position = 0;
};

tmsize_t memoryRead(thandle_t h, void* buffer, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(size),
                                         f->bytes.size() - std::min(f->position, f->bytes.size()));
    std::memcpy(buffer, f->bytes.data() + f->position, n);
    f->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t memoryWrite(thandle_t h, void* buffer, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    const auto n = static_cast<std::size_t>(size);
    if (f->position + n > f->bytes.size())
        f->bytes.resize(f->position + n);
    std::memcpy(f->bytes.data() + f->position, buffer, n);
    f->position += n;
    return size;
}

toff_t memorySeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    const auto base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->position : f->bytes.size();
    f->position = base + static_cast<std::size_t>(offset);
    return f->position;
}

int memoryClose(thandle_t) {
    return 0;
}
toff_t memorySize(thandle_t h) {
    return static_cast<MemoryFile*>(h)->bytes.size();
}
int memoryMap(thandle_t, void**, toff_t*) {
    return 0;
}
void memoryUnmap(thandle_t, void*, toff_t) {}

constexpr TiffClientIo kMemoryIo{memoryRead, memoryWrite, memorySeek, memoryClose,
                                 memorySize, memoryMap,   memoryUnmap};

// The horizontal predictor: along each row, every sample minus the same
// channel of the pixel before it (mod 256); the first pixel stays as it is.
// Smooth rows become runs of small values that every codec packs better.
std::vector<uint8_t> differenced(const uint8_t* data, const StripShape& shape) {
    const std::size_t step = shape.samples;
    const std::size_t rowBytes = static_cast<std::size_t>(shape.width) * step;
    std::vector<uint8_t> out(rowBytes * shape.rows);
    for (std::size_t row = 0; row < shape.rows; ++row) {
        const uint8_t* in = data + row * rowBytes;
        uint8_t* diff = out.data() + row * rowBytes;
        std::copy(in, in + std::min(step, rowBytes), diff);
        for (std::size_t i = step; i < rowBytes; ++i)
            diff[i] = static_cast<uint8_t>(in[i] - in[i - step]);
    }
    return out;
}

// libtiff has no stand-alone LZW encoder: the strip is written as the only
// strip of a one-strip file in memory and its bytes are taken back out.
std::vector<uint8_t> lzwStrip(const uint8_t* data, const StripShape& shape) {
    MemoryFile file;
    TiffFile tiff = TiffFile::openClient("strip", "w", &file, kMemoryIo);
    if (!tiff)
        throw CliError("cannot set up the LZW compressor: " + tiff.lastMessage());
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, shape.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, shape.rows);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, shape.samples);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, shape.rows);
    const auto size = static_cast<tmsize_t>(shape.width) * shape.rows * shape.samples;
    const bool written = TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t*>(data), size) >= 0;
    uint64_t* offsets = nullptr;
    uint64_t* counts = nullptr;
    const bool found = written && TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) &&
                       TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts) && offsets && counts &&
                       offsets[0] + counts[0] <= file.bytes.size();
    const uint64_t offset = found ? offsets[0] : 0;
    const uint64_t count = found ? counts[0] : 0;
    tiff.close();
    if (!found)
        throw CliError("LZW compression of a TIFF strip failed: " + tiff.lastMessage());
    return {file.bytes.begin() + static_cast<long>(offset),
            file.bytes.begin() + static_cast<long>(offset + count)};
}

// The --compression words.
constexpr tools::NamedChoice<TiffCompression> kCompressions[] = {
    {"none", TiffCompression::None},
    {"lzw", TiffCompression::Lzw},
    {"deflate", TiffCompression::Deflate},
    {"zstd", TiffCompression::Zstd}};

} // namespace

TiffCompression parseTiffCompression(const std::string& name) {
    const auto compression = tools::chooseByName(name, kCompressions);
    if (compression == TiffCompression::Zstd && !TIFFIsCODECConfigured(COMPRESSION_ZSTD))
        throw CliError("--compression zstd: this libtiff cannot read ZSTD-compressed TIFF");
    if (compression)
        return *compression;
    throw CliError("--compression '" + name + "': take none, lzw, deflate or zstd");
}

uint16_t tiffPredictorTag(TiffCompression compression) {
    return compression == TiffCompression::None ? PREDICTOR_NONE : PREDICTOR_HORIZONTAL;
}

uint16_t tiffCompressionTag(TiffCompression compression) {
    switch (compression) {
    case TiffCompression::Lzw:
        return COMPRESSION_LZW;
    case TiffCompression::Deflate:
        return COMPRESSION_ADOBE_DEFLATE;
    case TiffCompression::Zstd:
        return COMPRESSION_ZSTD;
    case TiffCompression::None:
        break;
    }
    return COMPRESSION_NONE;
}

std::vector<uint8_t> compressStrip(TiffCompression compression, const uint8_t* data,
                                   const StripShape& shape) {
    const std::size_t size = static_cast<std::size_t>(shape.width) * shape.rows * shape.samples;
    if (compression == TiffCompression::None)
        return {data, data + size};
    const std::vector<uint8_t> predicted = differenced(data, shape);
    switch (compression) {
    case TiffCompression::Lzw:
        return lzwStrip(predicted.data(), shape);
    case TiffCompression::Deflate:
        return deflateStrip(predicted.data(), size);
    case TiffCompression::Zstd:
        return zstdStrip(predicted.data(), size);
    case TiffCompression::None:
        break;
    }
    return {};
}

} // namespace vrel::cli

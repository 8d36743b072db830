#include "png_stream.h"

#include "cli_error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <libdeflate.h>
#include <limits>
#include <zlib.h>

namespace vrel::cli {

namespace {

constexpr uint8_t kFilterNone = 0;
constexpr uint8_t kFilterUp = 2;
constexpr int kWindowBits = 15;
constexpr int kMemLevel = 8;
constexpr std::size_t kMaxChunk = 0x7fffffff; // the largest chunk length

std::array<uint8_t, 4> bigEndian(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// The checksums come from libdeflate, whose vector code is several times
// faster than zlib's here; both are the standard CRC-32 and Adler-32 (given
// no data, libdeflate returns the initial value, not the one passed in).
uint32_t crcOf(uint32_t crc, const uint8_t* data, std::size_t size) {
    return size == 0 ? crc : libdeflate_crc32(crc, data, size);
}

uint32_t adlerOf(const uint8_t* data, std::size_t size) {
    return size == 0 ? 1 : libdeflate_adler32(1, data, size);
}

// A deflate stream kept by one thread and reset for every band: with the
// zlib header (the image's first band) or raw (every other).
class Deflater {
  public:
    explicit Deflater(bool zlibHeader) {
        std::memset(&z_, 0, sizeof z_);
        ok_ = deflateInit2(&z_, Z_BEST_SPEED, Z_DEFLATED, zlibHeader ? kWindowBits : -kWindowBits,
                           kMemLevel, Z_RLE) == Z_OK;
    }
    ~Deflater() {
        if (ok_)
            deflateEnd(&z_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // The band's deflate data: ending with a sync flush, or with the final
    // block (and the zlib trailer when the stream has the header) when last.
    std::vector<uint8_t> deflate(const uint8_t* data, std::size_t size, bool last) {
        if (!ok_ || deflateReset(&z_) != Z_OK)
            throw CliError("cannot set up the PNG compressor");
        out_.resize(deflateBound(&z_, static_cast<uLong>(size)) + 64);
        std::size_t done = 0;
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
            const std::size_t in = std::min<std::size_t>(size, std::numeric_limits<uInt>::max());
            const std::size_t room =
                std::min<std::size_t>(out_.size() - done, std::numeric_limits<uInt>::max());
            z_.next_in = const_cast<uint8_t*>(data);
            z_.avail_in = static_cast<uInt>(in);
            z_.next_out = out_.data() + done;
            z_.avail_out = static_cast<uInt>(room);
            const int rc = ::deflate(&z_, in == size ? flush : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR)
                throw CliError("PNG compression failed");
            data += in - z_.avail_in;
            size -= in - z_.avail_in;
            done += room - z_.avail_out;
            // Done once all input is taken and zlib had room left.
            if (size == 0 && z_.avail_out != 0 && (!last || rc == Z_STREAM_END))
                break;
            if (z_.avail_out == 0)
                out_.resize(out_.size() * 2);
            else if (size == 0)
                throw CliError("PNG compression failed");
        }
        return {out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(done)};
    }

  private:
    z_stream z_;
    bool ok_ = false;
    std::vector<uint8_t> out_;
};

} // namespace

PngBand encodePngBand(std::size_t rowBytes, int rows, bool first, bool last,
                      const PngRowSource& row) {
    const std::size_t stride = rowBytes + 1; // the filter type, then the row
    thread_local std::vector<uint8_t> filtered;
    filtered.resize(stride * static_cast<std::size_t>(rows));
    for (int y = 0; y < rows; ++y)
        row(y, filtered.data() + static_cast<std::size_t>(y) * stride + 1);
    // Bottom up, so that the row above is still unfiltered.
    for (int y = rows - 1; y >= 0; --y) {
        uint8_t* at = filtered.data() + static_cast<std::size_t>(y) * stride;
        at[0] = y == 0 ? kFilterNone : kFilterUp;
        if (y == 0)
            break;
        const uint8_t* above = at - stride;
        for (std::size_t x = 1; x < stride; ++x)
            at[x] = static_cast<uint8_t>(at[x] - above[x]);
    }
    PngBand band;
    band.rows = rows;
    band.first = first;
    band.last = last;
    band.filteredBytes = filtered.size();
    band.adler = adlerOf(filtered.data(), filtered.size());
    thread_local Deflater withHeader(true), raw(false);
    band.data = (first ? withHeader : raw).deflate(filtered.data(), filtered.size(), last);
    static const uint8_t kIdat[4] = {'I', 'D', 'A', 'T'};
    band.crc = crcOf(crcOf(0, kIdat, 4), band.data.data(), band.data.size());
    return band;
}

PngStream::PngStream(StagedOutput& out, int width, int height, int channels)
    : out_(out), height_(height) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    out_.write(kSignature, sizeof kSignature);
    uint8_t header[13] = {};
    const auto w = bigEndian(static_cast<uint32_t>(width));
    const auto h = bigEndian(static_cast<uint32_t>(height));
    std::memcpy(header, w.data(), 4);
    std::memcpy(header + 4, h.data(), 4);
    header[8] = 8;                     // bits per sample
    header[9] = channels == 3 ? 2 : 0; // colour type: RGB or grey
    // header[10..12]: deflate, adaptive filtering, no interlacing
    writeChunk("IHDR", header, sizeof header);
}

void PngStream::writeChunk(const char type[4], const uint8_t* data, std::size_t size) {
    const auto* name = reinterpret_cast<const uint8_t*>(type);
    out_.write(bigEndian(static_cast<uint32_t>(size)).data(), 4);
    out_.write(name, 4);
    out_.write(data, size);
    out_.write(bigEndian(crcOf(crcOf(0, name, 4), data, size)).data(), 4);
}

void PngStream::writeBand(const PngBand& band) {
    if (band.first != (rowsWritten_ == 0) || band.last != (rowsWritten_ + band.rows == height_))
        throw CliError("PNG bands out of order in '" + out_.path() + "'");
    rowsWritten_ += band.rows;
    adler_ = band.first ? band.adler
                        : static_cast<uint32_t>(adler32_combine(
                              adler_, band.adler, static_cast<z_off_t>(band.filteredBytes)));
    // The last band's chunk ends with the stream's Adler-32 (zlib wrote it
    // already when that band is also the first).
    const bool trailer = band.last && !band.first;
    const auto adler = bigEndian(adler_);
    const std::size_t size = band.data.size() + (trailer ? 4 : 0);
    if (size > kMaxChunk)
        throw CliError("cannot write '" + out_.path() + "': a band of the PNG is too large");
    out_.write(bigEndian(static_cast<uint32_t>(size)).data(), 4);
    out_.write("IDAT", 4);
    out_.write(band.data.data(), band.data.size());
    uint32_t crc = band.crc;
    if (trailer) {
        out_.write(adler.data(), 4);
        crc = crcOf(crc, adler.data(), 4);
    }
    out_.write(bigEndian(crc).data(), 4);
}

void PngStream::finish() {
    if (rowsWritten_ != height_)
        throw CliError("cannot write '" + out_.path() + "': rows of the image are missing");
    writeChunk("IEND", nullptr, 0);
}

} // namespace vrel::cli

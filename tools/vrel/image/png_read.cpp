#include "cli_error.h"
#include "image_decoders.h"
#include "orientation.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>
#include <new>
#include <png.h>
#include <zlib.h>

namespace vrel::cli {

namespace {

// Deflate packs at most 1032 bytes into one: a file shorter than its image
// data divided by that cannot hold the image it claims.
constexpr uint64_t kMaxDeflateRatio = 1032;

struct PngState {
    std::jmp_buf jump;
    char message[200];
    ImageBuilder* builder;
    uint64_t fileSize;
    std::exception_ptr failure;
    std::size_t rowBytes;
    std::size_t interlacedRows; // rows held in the buffer when interlaced
};

// The largest ICC profile taken from an iCCP chunk, inflated.
constexpr std::size_t kMaxProfileBytes = 16 << 20;

// The profile of an iCCP chunk's data (name, its terminator, method 0, then
// a zlib stream); empty when the chunk is malformed. libpng hands the chunk
// over as it is, so that every profile is judged where those of JPEG and TIFF
// are (the input colour's own checks), not dropped by libpng's.
std::vector<uint8_t> inflateProfile(const uint8_t* data, std::size_t size) {
    const auto* end =
        static_cast<const uint8_t*>(std::memchr(data, 0, std::min<std::size_t>(size, 80)));
    if (!end || end + 2 > data + size || end[1] != 0)
        return {};
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    z.next_in = const_cast<Bytef*>(end + 2);
    z.avail_in = static_cast<uInt>(data + size - (end + 2));
    std::vector<uint8_t> out;
    int result = Z_OK;
    while (result == Z_OK && out.size() < kMaxProfileBytes) {
        const std::size_t done = out.size();
        out.resize(std::min(kMaxProfileBytes, std::max<std::size_t>(4096, 2 * done)));
        z.next_out = out.data() + done;
        z.avail_out = static_cast<uInt>(out.size() - done);
        result = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END)
        return {};
    return out;
}

[[noreturn]] void pngError(png_structp png, png_const_charp text) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    // Into the state's own buffer: nothing is allocated before the jump.
    *fmt::format_to_n(state->message, sizeof state->message - 1, "{}", text).out = '\0';
    std::longjmp(state->jump, 1);
}

void pngWarning(png_structp png, png_const_charp text) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    guarded(&state->failure,
            [&] { state->builder->warn("'" + state->builder->path() + "': " + text); });
}

// What the file says besides its pixels: its colours (iCCP, sRGB, gAMA,
// cHRM), its orientation (eXIf) and its resolution (pHYs).
void readPngTags(png_structp png, png_infop info, PngState* state, SourceFormat& format) {
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < count; ++i)
        if (std::memcmp(chunks[i].name, "iCCP", 4) == 0) {
            format.colour.iccProfile = inflateProfile(chunks[i].data, chunks[i].size);
            if (format.colour.iccProfile.empty())
                state->builder->warn("the iCCP chunk of '" + state->builder->path() +
                                     "' does not decompress; its colours are taken as sRGB");
            break;
        }
    int intent = 0;
    format.colour.declaredSrgb = png_get_sRGB(png, info, &intent) != 0;
    double gamma = 0;
    if (png_get_gAMA(png, info, &gamma) && gamma > 0)
        format.colour.gamma = gamma;
    std::array<double, 8> c{};
    if (png_get_cHRM(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]))
        format.colour.chromaticities = c;
    png_uint_32 exifSize = 0;
    png_bytep exif = nullptr; // an eXIf chunk before the image data
    if (png_get_eXIf_1(png, info, &exifSize, &exif) && exif)
        if (const auto orientation = exifOrientation(exif, exifSize)) {
            format.orientation = *orientation;
            format.orientationTag = "EXIF";
        }
    png_uint_32 perMetreX = 0, perMetreY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &perMetreX, &perMetreY, &unit))
        format.resolution = resolutionFromPng(perMetreX, perMetreY, unit);
}

// Reads what the header says and prepares the decoding; false when the
// builder refused the image.
bool startPng(png_structp png, png_infop info, PngState* state, std::size_t* rowBytes) {
    return guarded(&state->failure, [&] {
        const auto width = png_get_image_width(png, info);
        const auto height = png_get_image_height(png, info);
        const int type = png_get_color_type(png, info);
        const int depth = png_get_bit_depth(png, info);
        const int fileChannels = png_get_channels(png, info);
        const uint64_t dataBytes =
            static_cast<uint64_t>(height) *
            (1 + (static_cast<uint64_t>(width) * fileChannels * depth + 7) / 8);
        if (state->fileSize * kMaxDeflateRatio < dataBytes)
            throw CliError(state->builder->tooShort(width, height));
        SourceFormat format;
        format.width = static_cast<int>(std::min<png_uint_32>(width, 0x7fffffff));
        format.height = static_cast<int>(std::min<png_uint_32>(height, 0x7fffffff));
        format.colours = (type & PNG_COLOR_MASK_COLOR) ? 3 : 1;
        format.bits = depth == 16 ? 16 : 8;
        const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        format.alpha =
            (type & PNG_COLOR_MASK_ALPHA) || transparency ? Alpha::Straight : Alpha::None;
        readPngTags(png, info, state, format);
        if (type == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png);
        if (!(type & PNG_COLOR_MASK_COLOR) && depth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (transparency)
            png_set_tRNS_to_alpha(png);
        if (depth == 16) {
            const uint16_t probe = 1;
            if (*reinterpret_cast<const uint8_t*>(&probe) == 1)
                png_set_swap(png);
        }
        state->builder->begin(format);
        *rowBytes =
            static_cast<std::size_t>(format.width) *
            static_cast<std::size_t>(format.colours + (format.alpha == Alpha::None ? 0 : 1)) *
            static_cast<std::size_t>(format.bits / 8);
    });
}

// Returns null on success or the reason of the failure (failure set when a
// C++ exception is pending instead).
const char* runPng(std::FILE* file, PngState* state, std::vector<uint8_t>* buffer) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state, pngError, pngWarning);
    if (!png)
        return "out of memory";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "out of memory";
    }
    if (setjmp(state->jump)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return state->message;
    }
    png_init_io(png, file);
    // The pixel limit is the tool's; libpng's own cap of a million per side
    // would refuse long banners.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS,
                                reinterpret_cast<png_const_bytep>("iCCP"), 1);
    png_read_info(png, info);
    std::size_t rowBytes = 0;
    if (!startPng(png, info, state, &rowBytes)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != rowBytes)
        png_error(png, "unexpected row layout");
    const auto height = static_cast<std::size_t>(png_get_image_height(png, info));
    // Interlaced images arrive in passes over the whole image; others row by row.
    const std::size_t bufferRows = passes > 1 ? height : 1;
    state->rowBytes = rowBytes;
    state->interlacedRows = passes > 1 ? height : 0;
    if (!guarded(&state->failure, [&] {
            if (passes > 1)
                state->builder->checkWholeImage("an interlaced PNG", uint64_t{rowBytes} * height);
            buffer->resize(rowBytes * bufferRows);
        })) {
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    for (int pass = 0; pass < passes; ++pass)
        for (std::size_t y = 0; y < height; ++y) {
            uint8_t* row = buffer->data() + (passes > 1 ? y * rowBytes : 0);
            png_read_row(png, row, nullptr);
            if (passes == 1 && !guarded(&state->failure, [&] { state->builder->addRow(row); })) {
                png_destroy_read_struct(&png, &info, nullptr);
                return nullptr;
            }
        }
    // The end of the file must be there too: a cut file is damaged.
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return nullptr;
}

} // namespace

void decodePng(InputFile& input, ImageBuilder& builder) {
    std::FILE* file = input.openStream();
    PngState state{};
    state.builder = &builder;
    state.fileSize = input.size();
    std::vector<uint8_t> buffer;
    const char* failure = runPng(file, &state, &buffer);
    std::fclose(file);
    if (state.failure)
        std::rethrow_exception(state.failure);
    if (failure && (std::strcmp(failure, "Out of memory") == 0 ||
                    std::strcmp(failure, "Insufficient memory") == 0))
        throw std::bad_alloc();
    if (failure)
        throw CliError(builder.damaged(failure));
    for (std::size_t y = 0; y < state.interlacedRows; ++y)
        builder.addRow(buffer.data() + y * state.rowBytes);
}

} // namespace vrel::cli

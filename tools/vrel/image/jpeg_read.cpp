#include "cli_error.h"
#include "image_decoders.h"
#include "orientation.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jerror.h>
#include <jpeglib.h>
#include <new>

namespace vrel::cli {

namespace {

struct JpegState {
    jpeg_error_mgr base; // first member: libjpeg hands this pointer back
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    ImageBuilder* builder;
    uint64_t fileSize;
    std::exception_ptr failure;
    bool unsupported; // a valid JPEG of a kind the decoder does not take
    bool outOfMemory;
    bool warned[JMSG_LASTMSGCODE];
};

[[noreturn]] void jpegErrorExit(j_common_ptr info) {
    auto* state = reinterpret_cast<JpegState*>(info->err);
    (*info->err->format_message)(info, state->message);
    const int code = info->err->msg_code;
    state->unsupported =
        code == JERR_BAD_PRECISION || code == JERR_NOT_COMPILED || code == JERR_CONVERSION_NOTIMPL;
    state->outOfMemory = code == JERR_OUT_OF_MEMORY;
    std::longjmp(state->jump, 1);
}

// A warning that means pixels were lost ends the decoding as damage; the
// others are passed on as the tool's warnings, each once.
void jpegMessage(j_common_ptr info, int level) {
    if (level >= 0)
        return; // trace messages
    auto* state = reinterpret_cast<JpegState*>(info->err);
    const int code = info->err->msg_code;
    switch (code) {
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        jpegErrorExit(info);
    default:
        break;
    }
    if (code >= 0 && code < JMSG_LASTMSGCODE && state->warned[code])
        return;
    if (code >= 0 && code < JMSG_LASTMSGCODE)
        state->warned[code] = true;
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    guarded(&state->failure,
            [&] { state->builder->warn("'" + state->builder->path() + "': " + text); });
}

// What libjpeg's whole-image coefficient buffer takes: each component's
// blocks, padded to whole MCUs, of 64 coefficients.
uint64_t coefficientBytes(const jpeg_decompress_struct& info) {
    uint64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& comp = info.comp_info[c];
        const auto roundUp = [](uint64_t n, uint64_t step) { return (n + step - 1) / step * step; };
        bytes += roundUp(comp.width_in_blocks, static_cast<uint64_t>(comp.h_samp_factor)) *
                 roundUp(comp.height_in_blocks, static_cast<uint64_t>(comp.v_samp_factor)) *
                 sizeof(JBLOCK);
    }
    return bytes;
}

// The orientation tag of the first EXIF APP1 segment, when there is one.
void readOrientation(const jpeg_decompress_struct& info, SourceFormat& format) {
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 ||
            std::memcmp(m->data, "Exif\0\0", 6) != 0)
            continue;
        if (const auto orientation = exifOrientation(m->data, m->data_length)) {
            format.orientation = *orientation;
            format.orientationTag = "EXIF";
        }
        return;
    }
}

bool startJpeg(jpeg_decompress_struct* info, JpegState* state) {
    return guarded(&state->failure, [&] {
        // Every block of every component takes at least one bit of
        // Huffman-coded data: a shorter file cannot hold the image it claims
        // (checked before libjpeg allocates for the whole image).
        if (!info->arith_code) {
            uint64_t blocks = 0;
            for (int c = 0; c < info->num_components; ++c)
                blocks += static_cast<uint64_t>(info->comp_info[c].width_in_blocks) *
                          info->comp_info[c].height_in_blocks;
            if (state->fileSize * 8 < blocks)
                throw CliError(state->builder->tooShort(info->image_width, info->image_height));
        }
        // A progressive (or other multi-scan) image is decoded whole: libjpeg
        // keeps every coefficient block of every component.
        if (jpeg_has_multiple_scans(info))
            state->builder->checkWholeImage(info->progressive_mode ? "a progressive JPEG"
                                                                   : "a multi-scan JPEG",
                                            coefficientBytes(*info));
        SourceFormat format;
        format.width = static_cast<int>(info->image_width);
        format.height = static_cast<int>(info->image_height);
        format.colours = info->num_components == 1 ? 1 : 3;
        if (info->saw_JFIF_marker)
            format.resolution =
                resolutionFromJfif(info->density_unit, info->X_density, info->Y_density);
        JOCTET* profile = nullptr;
        unsigned int length = 0;
        if (jpeg_read_icc_profile(info, &profile, &length) && profile) {
            format.colour.iccProfile.assign(profile, profile + length);
            std::free(profile);
        }
        readOrientation(*info, format);
        state->builder->begin(format);
    });
}

// Decodes into the builder; returns null on success or the reason. Free of
// objects with destructors because of the longjmp.
const char* runJpeg(std::FILE* file, JpegState* state, std::vector<uint8_t>* row) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&state->base);
    state->base.error_exit = jpegErrorExit;
    state->base.emit_message = jpegMessage;
    if (setjmp(state->jump)) {
        jpeg_destroy_decompress(&info);
        return state->message;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xffff); // EXIF
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xffff); // ICC
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        return "CMYK JPEG images are not taken; give an RGB or grey image";
    }
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    if (!startJpeg(&info, state)) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    jpeg_start_decompress(&info);
    if (!guarded(&state->failure, [&] {
            row->resize(static_cast<std::size_t>(info.output_width) *
                        static_cast<std::size_t>(info.output_components));
        })) {
        jpeg_destroy_decompress(&info);
        return nullptr;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row->data()};
        jpeg_read_scanlines(&info, rows, 1);
        if (!guarded(&state->failure, [&] { state->builder->addRow(row->data()); })) {
            jpeg_destroy_decompress(&info);
            return nullptr;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return nullptr;
}

} // namespace

void decodeJpeg(InputFile& input, ImageBuilder& builder) {
    std::FILE* file = input.openStream();
    auto state = std::make_unique<JpegState>();
    state->builder = &builder;
    state->fileSize = input.size();
    std::vector<uint8_t> row;
    const char* failure = runJpeg(file, state.get(), &row);
    std::fclose(file);
    if (state->failure)
        std::rethrow_exception(state->failure);
    if (failure && state->outOfMemory)
        throw std::bad_alloc();
    if (failure) {
        const bool unsupported = state->unsupported || std::string(failure).rfind("CMYK", 0) == 0;
        throw CliError(unsupported ? "unsupported image '" + builder.path() + "': " + failure
                                   : builder.damaged(failure));
    }
}

} // namespace vrel::cli

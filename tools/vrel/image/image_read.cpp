#include "image_read.h"

#include "cli_error.h"
#include "image_decoders.h"

#include <cstring>
#include <fmt/format.h>
#include <unistd.h>

namespace vrel::cli {

namespace {

enum class FileKind { Png, Jpeg, Tiff, Unknown };

FileKind sniff(const InputFile& file) {
    unsigned char head[8] = {};
    const ssize_t got = ::pread(file.descriptor(), head, sizeof head, 0);
    if (got >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0)
        return FileKind::Png;
    if (got >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff)
        return FileKind::Jpeg;
    // Classic TIFF (42) and BigTIFF (43) are both read by libtiff.
    const bool little = head[0] == 'I' && head[1] == 'I' && head[3] == 0;
    const bool big = head[0] == 'M' && head[1] == 'M' && head[2] == 0;
    if (got >= 4 &&
        ((little && (head[2] == 42 || head[2] == 43)) || (big && (head[3] == 42 || head[3] == 43))))
        return FileKind::Tiff;
    return FileKind::Unknown;
}

} // namespace

Image readImage(const std::string& path, const ReadOptions& options, std::string* profileUsed) {
    InputFile file(path, "image");
    ImageBuilder builder(path, options);
    const FileKind kind = sniff(file);
    if (options.page != 1 && kind != FileKind::Tiff && kind != FileKind::Unknown)
        throw CliError(fmt::format("--page {}: image '{}' has only one page", options.page, path));
    switch (kind) {
    case FileKind::Png:
        decodePng(file, builder);
        break;
    case FileKind::Jpeg:
        decodeJpeg(file, builder);
        break;
    case FileKind::Tiff:
        decodeTiff(file, builder);
        break;
    case FileKind::Unknown:
        throw CliError("unsupported image '" + path + "': not a PNG, JPEG or TIFF file");
    }
    Image image = builder.finish();
    if (profileUsed)
        *profileUsed = builder.profileUsed();
    return image;
}

Image readImage(const std::string& path) {
    return readImage(path, ReadOptions{});
}

} // namespace vrel::cli
